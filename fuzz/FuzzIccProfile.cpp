// ICC profile bytes through both engines: open the profile, then ask it
// everything the converters and the program ask of a profile (colour space,
// channels, rendering intent, every colorant name and one past the last, the
// PostScript colour-space array and colour-rendering dictionary). Refusals
// are TintExceptions; anything else escaping is a fault.
#include <cstddef>
#include <cstdint>

#include "engine/TintException.h"
#include "engine/TintProfile.h"
#include "engine/icm/TintICM.h"
#include "engine/littlecms/TintLittleCMS.h"

namespace {

int CountingWriter(int length, const char* text, void* userData) {
    // Touch every byte so that a text shorter than its announced length is
    // seen by the address sanitizer.
    unsigned sum = 0;
    for (int i = 0; i < length; ++i)
        sum += static_cast<unsigned char>(text[i]);
    *static_cast<unsigned*>(userData) += sum;
    return length;
}

template <typename Call>
void Refusable(Call call) {
    try {
        call();
    } catch (const TintException&) {
    }
}

void Exercise(TintBaseEngine* engine, const std::uint8_t* data, std::size_t size) {
    TintProfile profile;
    try {
        profile = engine->OpenProfile(data, static_cast<unsigned int>(size));
    } catch (const TintException&) {
        return;
    }
    int channels = 0;
    Refusable([&] { profile.GetColorSpace(); });
    Refusable([&] { profile.GetRenderingIntent(); });
    Refusable([&] { channels = profile.GetNumberOfChannels(); });
    if (channels < 0 || channels > 15)
        channels = 15;
    for (int i = 0; i <= channels; ++i)
        Refusable([&] { profile.GetColorantName(static_cast<unsigned int>(i)); });

    unsigned checksum = 0;
    const TintRenderingIntent intent =
        size > 0 ? static_cast<TintRenderingIntent>(data[size - 1] % 5) : TintRI_Perceptual;
    Refusable([&] { engine->GetPostScriptCSA(profile, intent, CountingWriter, &checksum); });
    Refusable([&] {
        engine->GetPostScriptCRD(profile, intent, CountingWriter, &checksum, (size & 1) != 0);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Exercise(TintLittleCMS::GetInstance(), data, size);
    Exercise(TintICM::GetInstance(), data, size);
    return 0;
}
