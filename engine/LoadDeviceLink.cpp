#include "engine/LoadDeviceLink.h"

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/path.hpp>
#include <climits>
#include <iostream>
#include <iterator>
#include <locale>
#include <stdexcept>

#include "engine/TintEngineManager.h"
#include "engine/TintException.h"
#include "host/UTF8FS.h"

namespace {

void Report(const ErrorCallback& callback, const std::string& message, const std::string& detail) {
    const std::string text = detail.empty() ? message : message + detail;
    if (callback) {
        callback(text);
    } else {
        std::cerr << text << std::endl;
    }
}

TintRenderingIntent EngineIntent(TCMS::RenderingIntent intent) {
    switch (intent) {
        case TCMS::Perceptual:
            return TintRI_Perceptual;
        case TCMS::Saturation:
            return TintRI_Saturation;
        case TCMS::AbsoluteColorimetric:
            return TintRI_AbsoluteColorimetric;
        default:
            return TintRI_RelativeColorimetric;
    }
}

bool IsFourColour(TintColorSpace space) {
    return space == TintCS_CMYK || space == TintCS_4CLR;
}

// The wide path as a file-system path. Where file names are bytes the
// characters become their UTF-8 again, whatever the process's locale.
boost::filesystem::path FileSystemPath(const std::wstring& wide) {
    static const std::locale utf8(std::locale::classic(),
                                  new boost::filesystem::detail::utf8_codecvt_facet);
    return boost::filesystem::path(wide,
                                   std::use_facet<boost::filesystem::path::codecvt_type>(utf8));
}

}  // namespace

std::shared_ptr<const TintLink> LoadDeviceLink(TintEngineManager& manager, const std::string& path,
                                               TCMS::RenderingIntent renderingIntent,
                                               ErrorCallback errorCallback) {
    std::wstring widePath;
    try {
        widePath = Utf8ToUnicode(path);
    } catch (const std::invalid_argument&) {
        // No file can have that name.
        Report(errorCallback, "Couldn't open device link file ", path);
        return nullptr;
    }
    const boost::filesystem::path filePath = FileSystemPath(widePath);

    std::string bytes;
    {
        boost::filesystem::ifstream stream;
#if defined(_WIN32) && defined(__GLIBCXX__)
        // Boost hands GCC's library a narrow name in the ANSI code page,
        // which loses every character outside it; GCC's stream opens the
        // wide name itself.
        stream.std::ifstream::open(filePath.c_str(), std::ios::in | std::ios::binary);
#else
        stream.open(filePath, std::ios::in | std::ios::binary);
#endif
        if (!stream.good()) {
            Report(errorCallback, "Couldn't open device link file ", path);
            return nullptr;
        }
        bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
        stream.close();
    }
    if (bytes.empty()) {
        Report(errorCallback, "Couldn't read data from device link file ", path);
        return nullptr;
    }

    try {
        if (bytes.size() > UINT_MAX) {
            throw TintException("Could not open profile");
        }
        TintDLProfile profile =
            manager.OpenDLProfile(bytes.data(), static_cast<unsigned int>(bytes.size()));
        const TintColorSpace input = profile.GetInputColorSpace();
        const TintColorSpace output = profile.GetOutputColorSpace();
        if (!IsFourColour(input) || !IsFourColour(output)) {
            Report(errorCallback, "Device link is not a 4-colour to 4-colour device link", "");
            return nullptr;
        }
        const TintLink link =
            manager.CreateDeviceLink(profile, 8, EngineIntent(renderingIntent), false);
        // The returned handle and the profile go at the end of this scope,
        // leaving the shared copy as the link's only holder.
        return std::make_shared<const TintLink>(link);
    } catch (const TintException& e) {
        std::cerr << e.what() << std::endl;
        return nullptr;
    }
}
