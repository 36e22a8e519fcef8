// The per-ink decisions of a Color Strategy conversion: which document inks the
// strategy converts, which are kept, and what the operator is told about each.
#include <cstring>
#include <exception>
#include <locale>
#include <string>
#include <vector>

#include "host/REUSE.h"
#include "host/zqmsg.h"
#include "strategy/TColorConverter_RodadazErivo.h"

namespace {

/// Display names hold 255 characters and the terminator.
constexpr size_t kDisplayNameSize = 256;

void CopyDisplayName(char* buffer, const char* text) {
    std::strncpy(buffer, text != nullptr ? text : "", kDisplayNameSize - 1);
    buffer[kDisplayNameSize - 1] = '\0';
}

/// Equal ignoring case, by the character classification of the default locale.
bool EqualIgnoringCase(const std::string& a, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() != length) {
        return false;
    }
    const std::locale locale;
    const auto& ctype = std::use_facet<std::ctype<char>>(locale);
    for (size_t i = 0; i < length; ++i) {
        if (ctype.toupper(a[i]) != ctype.toupper(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

void TColorConverter_RodadazErivo::DecideInks(const InkSettings& settings) {
    const std::string strategyName = options.GetColorStrategy();
    const char* S = strategyName.c_str();
    std::vector<std::string> exceptions;
    options.GetExceptions(exceptions);
    const TGeneralColorConverterOptions& general = GetGeneralOptions();

    list_iterator_t it;
    IDB_all_inks(&it);
    void* item = nullptr;
    while (SOL_next_item(&it, &item)) {
        auto* documentInk = static_cast<inkt_t*>(item);
        bool convert = true;
        bool alsoInput = false;
        bool keptAsException = false;

        if (interactive == 0) {
            char displayBook[kDisplayNameSize] = {};
            char displayInk[kDisplayNameSize] = {};
            const char* book = nullptr;
            const char* ink = nullptr;
            INK_get_group_and_name(documentInk, &book, &ink);
            std::shared_ptr<TInk> cmsInk = TIDB_GetInk(TCMS_GetLib(), book, ink);
            if (cmsInk) {
                TInk_GetName(cmsInk, &book, &ink);
                TIDB_ZQNameToGUINameOfBook(TCMS_GetLib(), book, displayBook);
                TIDB_ZQNameToGUINameOfInk(TCMS_GetLib(), book, ink, displayInk);
                displayBook[kDisplayNameSize - 1] = '\0';
                displayInk[kDisplayNameSize - 1] = '\0';
            } else {
                CopyDisplayName(displayBook, "<unregistered>");
                CopyDisplayName(displayInk, ink);
            }
            const char* B = displayBook;
            const char* I = displayInk;

            if (IsInkInStrategy(ink, book)) {
                MSG_Info(
                    "Conversion for ink %s %s is defined in Color Strategy %s. Applying strategy "
                    "settings.",
                    B, I, S);
                if (ClipAdvItemValues(strategy, book, ink)) {
                    KELTIO_Warning(
                        "Conversion for ink %s %s in Color Strategy %s has values over 100%%. "
                        "Output will be clipped at 100%%.",
                        B, I, S);
                }
            } else if (settings.policy == InkNotInStrategyKeep) {
                KELTIO_Warning(
                    "Conversion for ink %s %s is not defined in Color Strategy %s. The ink will "
                    "not be converted.",
                    B, I, S);
                convert = false;
                AddImageExceptionInk(documentInk);
            } else if (settings.policy == InkNotInStrategyFail) {
                MSG_Error("Conversion for ink %s %s is not defined in Color Strategy %s.", B, I, S);
                throw std::exception();
            } else {
                // By kind: the first kind that the strategy does not convert
                // wins; a kind is only asked about when its setting is off.
                if (!settings.convertOpaqueInks && INK_is_opaque(documentInk) != 0) {
                    MSG_Info(
                        "Ink %s %s is an opaque ink and will not be converted (as specified in "
                        "Color Strategy %s).",
                        B, I, S);
                    convert = false;
                } else if (!settings.convertUnregisteredInks &&
                           INK_is_unregistered(documentInk) != 0) {
                    MSG_Info(
                        "Ink %s %s is an unregistered ink and will not be converted (as "
                        "specified in Color Strategy %s).",
                        B, I, S);
                    convert = false;
                } else if (!settings.convertTechnicalInks && INK_is_technical(documentInk) != 0) {
                    MSG_Info(
                        "Ink %s %s is a technical ink and will not be converted: technical inks "
                        "are not converted by default. To convert the ink, add it to the Color "
                        "Strategy.",
                        B, I);
                    convert = false;
                } else if (!settings.convertVarnishInks && INK_is_varnish(documentInk) != 0) {
                    MSG_Info(
                        "Ink %s %s is a varnish ink and will not be converted: varnish inks are "
                        "not converted by default. To convert the ink, add it to the Color "
                        "Strategy.",
                        B, I);
                    convert = false;
                } else {
                    MSG_Info(
                        "Ink %s %s will be converted according to settings in Color Strategy %s.",
                        B, I, S);
                }
                if (!convert) {
                    AddImageExceptionInk(documentInk);
                }
            }
            // The CMS ink (and the names it lent) is released here.
        }

        // Unregistered inks named in the exception list are kept. Their image
        // planes are kept as well: an image that is converted would otherwise
        // lose the very ink the operator asked to keep.
        if (convert && INK_is_unregistered(documentInk) != 0) {
            bool listed = false;
            for (const std::string& exception : exceptions) {
                listed = EqualIgnoringCase(exception, documentInk->name) || listed;
            }
            if (listed) {
                convert = false;
                keptAsException = true;
            }
        }

        if (INK_is_process(documentInk, nullptr) != 0) {
            if (!general.GetConvertCMYKLinework()) {
                convert = false;
            }
            if (general.GetConvertCMYKImages()) {
                alsoInput = true;
            }
        }

        if (!convert) {
            AddExceptionInk(documentInk);
        }
        if (keptAsException) {
            AddImageExceptionInk(documentInk);
        }
        if (convert || alsoInput) {
            AddInputInk(documentInk);
        }
    }
}

bool TColorConverter_RodadazErivo::IsInkInStrategy(const char* ink, const char* book) {
    if (!TIDB_GetInk(TCMS_GetLib(), book, ink)) {
        return false;
    }
    if (TCMS_ColTransfInkIsProcessInk(strategy, book, ink) != 0) {
        return true;
    }
    for (int i = 0; i < TCMS_ColTransfAdvItemGetCount(strategy); ++i) {
        char itemBook[kDisplayNameSize] = {};
        char itemInk[kDisplayNameSize] = {};
        TCMS_ColTransfAdvItemGetBookName(strategy, i, itemBook);
        TCMS_ColTransfAdvItemGetInkName(strategy, i, itemInk);
        itemBook[kDisplayNameSize - 1] = '\0';
        itemInk[kDisplayNameSize - 1] = '\0';
        if (strcmp_ci(itemBook, book) == 0 && strcmp_ci(itemInk, ink) == 0) {
            return true;
        }
    }
    return false;
}
