// The ink functions of the CMS library and TCMS::InkInfo.
#include "host/CMS.h"
#include "platform/cms/ColorInk.h"
#include "platform/cms/Names.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TInk.h"

using rdz::cms::CopyName;
using rdz::cms::EqualsIgnoringCase;

namespace TCMS {

InkInfo::InkInfo() : kind_(0) {}

InkInfo::InkInfo(const std::string& book, const std::string& ink, int kind)
    : book_(book), ink_(ink), kind_(kind) {}

const char* InkInfo::GetInkNamePtr() const {
    return ink_.c_str();
}
const char* InkInfo::GetBookNamePtr() const {
    return book_.c_str();
}
int InkInfo::GetKind() const {
    return kind_;
}

bool InkInfo::NameEquals(const InkInfo& other) const {
    return EqualsIgnoringCase(book_, other.book_) && EqualsIgnoringCase(ink_, other.ink_);
}

bool InkInfo::operator==(const InkInfo& other) const {
    return kind_ == other.kind_ && NameEquals(other);
}

}  // namespace TCMS

std::shared_ptr<TInk> TIDB_GetInk(std::shared_ptr<TCMSLibrary> lib, const char* book,
                                  const char* ink) {
    if (!lib || book == nullptr || ink == nullptr)
        return nullptr;
    return lib->FindInk(book, ink);
}

std::shared_ptr<TInk> TIDB_GetColorInk(std::shared_ptr<TCMSLibrary> /*lib*/, const char* colorSpace,
                                       const std::vector<double>& values, double opacity,
                                       const char* name, std::string* message,
                                       const std::string& book) {
    // The colour is derived without the database, so inks can be built even
    // while no database is open.
    return rdz::cms::BuildColorInk(colorSpace == nullptr ? std::string() : colorSpace, values,
                                   opacity, name, book, message);
}

int TInk_GetName(std::shared_ptr<TInk> ink, const char** book, const char** name) {
    if (!ink)
        return -1;
    if (book != nullptr)
        *book = ink->Book().c_str();
    if (name != nullptr)
        *name = ink->Name().c_str();
    return 0;
}

int TIDB_ZQNameToGUINameOfBook(std::shared_ptr<TCMSLibrary> lib, const char* book, char* buffer) {
    if (buffer == nullptr)
        return -1;
    if (book == nullptr) {
        CopyName("", buffer);
        return -1;
    }
    const TCMSLibrary::InkBook* found = lib ? lib->FindBook(book) : nullptr;
    CopyName(found != nullptr && !found->displayName.empty() ? found->displayName : book, buffer);
    return 0;
}

int TIDB_ZQNameToGUINameOfInk(std::shared_ptr<TCMSLibrary> lib, const char* book, const char* ink,
                              char* buffer) {
    if (buffer == nullptr)
        return -1;
    if (ink == nullptr) {
        CopyName("", buffer);
        return -1;
    }
    const std::shared_ptr<TInk> found = lib && book != nullptr ? lib->FindInk(book, ink) : nullptr;
    CopyName(found ? found->DisplayName() : ink, buffer);
    return 0;
}
