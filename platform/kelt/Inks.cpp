// The ink database: ink books, inks, merging and the ink predicates.
#include <cstddef>
#include <cstdio>
#include <new>
#include <string>

#include "host/LWKeltBase.h"
#include "host/REUSE.h"
#include "host/kelt_db.h"
#include "platform/common/ControlCharacters.h"
#include "platform/kelt/InkArena.h"
#include "platform/kelt/Records.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::kelt {
namespace {

const char* BookName(const inkbook_t* book) {
    return book != nullptr ? book->name.c_str() : "";
}

InkRec* NewInk(inkbook_t* book, const char* name) {
    static_assert(sizeof(InkRec) <= kInkSlotBytes && alignof(InkRec) <= alignof(std::max_align_t),
                  "an ink record fits a slot of the ink arena");
    void* room = AllocateInkRecord(sizeof(InkRec));
    InkRec* ink = new (room) InkRec();
    ink->book = book;
    ink->nameText = name != nullptr ? name : "";
    ink->name = &ink->nameText[0];
    ink->printingmethod = nullptr;
    return ink;
}

void SetMethod(InkRec* ink, const char* method) {
    if (method == nullptr) {
        ink->methodText.clear();
        ink->printingmethod = nullptr;
    } else {
        ink->methodText = method;
        ink->printingmethod = &ink->methodText[0];
    }
}

/// `text` with ASCII letters in lower case, as strcmp_ci compares.
std::string Fold(const char* text) {
    std::string folded(text != nullptr ? text : "");
    for (char& c : folded) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return folded;
}

/// The index key of an ink: book and ink name, folded, joined by a byte that
/// neither name can hold (they are C strings).
std::string InkKey(const char* bookName, const char* name) {
    std::string key = Fold(bookName);
    key += '\0';
    key += Fold(name);
    return key;
}

/// The ink of `document`'s database with this book and ink name (ignoring case).
InkRec* FindInk(const DocumentRec* document, const char* bookName, const char* name) {
    const auto found = document->inkIndex.find(InkKey(bookName, name));
    return found != document->inkIndex.end() ? found->second : nullptr;
}

/// Appends `ink` to the document's ink database (its name must be new there).
void StoreInk(DocumentRec* document, InkRec* ink) {
    ink->database = document;
    document->inks.items.push_back(ink);
    document->inkIndex.emplace(InkKey(BookName(ink->book), ink->nameText.c_str()), ink);
}

inkbook_t* FindBook(const DocumentRec* document, const char* name) {
    if (document == nullptr || name == nullptr) {
        return nullptr;
    }
    const auto found = document->bookIndex.find(Fold(name));
    return found != document->bookIndex.end() ? found->second : nullptr;
}

}  // namespace

void FreeInkRecord(InkRec* ink) {
    if (ink != nullptr) {
        ink->~InkRec();
        ReleaseInkRecord(ink);
    }
}

inkbook_t* AddInkBook(document_object_t* object, const char* name) {
    DocumentRec* document = AsDocument(object);
    if (document == nullptr || name == nullptr) {
        return nullptr;
    }
    if (inkbook_t* existing = FindBook(document, name)) {
        return existing;
    }
    inkbook_t* book = new inkbook_t{name};
    document->books.push_back(book);
    document->bookIndex.emplace(Fold(name), book);
    return book;
}

inkt_t* AddInk(document_object_t* object, const InkSetup& setup) {
    DocumentRec* document = AsDocument(object);
    if (document == nullptr) {
        return nullptr;
    }
    inkbook_t* book = setup.book.empty() ? nullptr : AddInkBook(document, setup.book.c_str());
    if (InkRec* existing = FindInk(document, BookName(book), setup.name.c_str())) {
        return existing;
    }
    InkRec* ink = NewInk(book, setup.name.c_str());
    ink->kinds = setup.kinds;
    ink->process = setup.process;
    for (int i = 0; i < 3; ++i) {
        ink->rgb[i] = setup.rgb[i];
    }
    ink->hasCromValues = setup.hasCromValues ? 1 : 0;
    for (int i = 0; i < 4; ++i) {
        ink->cromValues[i] = setup.cromValues[i];
    }
    SetMethod(ink, setup.printingMethod.empty() ? nullptr : setup.printingMethod.c_str());
    ink->inheritedValue = setup.inheritedValue;
    ink->attribute = setup.attribute;
    StoreInk(document, ink);
    return ink;
}

std::vector<inkt_t*> AddCmykInks(document_object_t* document, const char* book,
                                 const char* process) {
    struct Process {
        const char* name;
        float rgb[3];
    };
    static const Process kInks[] = {{"Cyan", {0.0f, 0.68f, 0.94f}},
                                    {"Magenta", {0.93f, 0.0f, 0.55f}},
                                    {"Yellow", {1.0f, 0.95f, 0.0f}},
                                    {"Black", {0.14f, 0.12f, 0.13f}}};
    std::vector<inkt_t*> out;
    for (const Process& p : kInks) {
        InkSetup setup;
        setup.book = book != nullptr ? book : "";
        setup.name = p.name;
        setup.kinds = InkProcess;
        setup.process = process != nullptr ? process : "";
        for (int i = 0; i < 3; ++i) {
            setup.rgb[i] = p.rgb[i];
        }
        out.push_back(AddInk(document, setup));
    }
    return out;
}

unsigned InkKinds(const inkt_t* ink) {
    return ink != nullptr ? Rec(ink)->kinds : 0u;
}

void SetInkKinds(inkt_t* ink, unsigned kinds, const char* process) {
    if (ink != nullptr) {
        Rec(ink)->kinds = kinds;
        Rec(ink)->process = process != nullptr ? process : "";
    }
}

void SetInkRGB(inkt_t* ink, float r, float g, float b) {
    if (ink != nullptr) {
        Rec(ink)->rgb[0] = r;
        Rec(ink)->rgb[1] = g;
        Rec(ink)->rgb[2] = b;
    }
}

std::vector<inkt_t*> Inks(const document_object_t* object) {
    std::vector<inkt_t*> out;
    if (const DocumentRec* document = AsDocument(object)) {
        for (void* item : document->inks.items) {
            out.push_back(static_cast<inkt_t*>(item));
        }
    }
    return out;
}

std::size_t InkCount(const document_object_t* object) {
    const DocumentRec* document = AsDocument(object);
    return document != nullptr ? document->inks.items.size() : 0;
}

void FreeInk(inkt_t* ink) {
    if (ink != nullptr && Rec(ink)->database == nullptr) {
        FreeInkRecord(Rec(ink));
    }
}

}  // namespace rdz::kelt

using namespace rdz::kelt;

void IDB_all_inks(list_iterator_t* it) {
    DocumentRec* document = CurrentDocument();
    SOL_all_items(document != nullptr ? &document->inks : nullptr, it);
}

int IDB_count_inks(void) {
    const DocumentRec* document = CurrentDocument();
    return document != nullptr ? SOL_count_items(&document->inks) : 0;
}

inkbook_t* IDB_get_inkbook(const char* bookName) {
    return FindBook(CurrentDocument(), bookName);
}

const char* IDB_get_inkbook_name(const inkbook_t* book) {
    return book != nullptr ? book->name.c_str() : nullptr;
}

inkt_t* INK_create(inkbook_t* book, const char* name) {
    return NewInk(book, name);
}

inkt_t* IDB_merge_ink(inkt_t** ink) {
    DocumentRec* document = CurrentDocument();
    if (ink == nullptr || *ink == nullptr || document == nullptr) {
        return nullptr;
    }
    InkRec* newcomer = Rec(*ink);
    if (newcomer->database != nullptr) {
        return newcomer;  // already stored (in this or another database)
    }
    if (InkRec* stored = FindInk(document, BookName(newcomer->book), newcomer->nameText.c_str())) {
        FreeInkRecord(newcomer);
        *ink = stored;
        return stored;
    }
    StoreInk(document, newcomer);
    return newcomer;
}

void INK_set_printingmethod(inkt_t* ink, const char* method) {
    if (ink != nullptr) {
        SetMethod(Rec(ink), method);
    }
}

void INK_set_attribute(inkt_t* ink, unsigned char attribute) {
    if (ink != nullptr) {
        ink->attribute = attribute;
    }
}

int INK_is_process(const inkt_t* ink, const char** processName) {
    const bool process = ink != nullptr && (Rec(ink)->kinds & InkProcess) != 0;
    if (processName != nullptr) {
        *processName = process && !Rec(ink)->process.empty() ? Rec(ink)->process.c_str() : nullptr;
    }
    return process ? 1 : 0;
}

int INK_is_opaque(const inkt_t* ink) {
    return (InkKinds(ink) & InkOpaque) != 0 ? 1 : 0;
}

int INK_is_technical(const inkt_t* ink) {
    return (InkKinds(ink) & InkTechnical) != 0 ? 1 : 0;
}

int INK_is_varnish(const inkt_t* ink) {
    return (InkKinds(ink) & InkVarnish) != 0 ? 1 : 0;
}

int INK_is_unregistered(const inkt_t* ink) {
    return (InkKinds(ink) & InkUnregistered) != 0 ? 1 : 0;
}

void INK_get_group_and_name(const inkt_t* ink, const char** book, const char** name) {
    if (book != nullptr) {
        *book = ink != nullptr ? BookName(ink->book) : "";
    }
    if (name != nullptr) {
        *name = ink != nullptr ? Rec(ink)->nameText.c_str() : "";
    }
}

void INK_get_RGB(const inkt_t* ink, float rgb[3]) {
    if (rgb == nullptr) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        rgb[i] = ink != nullptr ? Rec(ink)->rgb[i] : 0.0f;
    }
}

void INK_print(const inkt_t* ink) {
    if (ink == nullptr) {
        Tprintf("ink (null)\n");
        return;
    }
    const InkRec* rec = Rec(ink);
    std::string kinds;
    static const struct {
        unsigned flag;
        const char* word;
    } kWords[] = {{InkProcess, "process"},           {InkOpaque, "opaque"},
                  {InkTechnical, "technical"},       {InkVarnish, "varnish"},
                  {InkUnregistered, "unregistered"}, {InkRegistration, "registration"}};
    for (const auto& w : kWords) {
        if ((rec->kinds & w.flag) != 0) {
            kinds += kinds.empty() ? "" : ",";
            kinds += w.word;
        }
    }
    // One line per ink, whatever its names hold.
    Tprintf("ink \"%s\" \"%s\" kinds=%s rgb=%.3f,%.3f,%.3f\n",
            rdz::platform::EscapeControlCharacters(BookName(rec->book)).c_str(),
            rdz::platform::EscapeControlCharacters(rec->nameText).c_str(),
            kinds.empty() ? "-" : kinds.c_str(), rec->rgb[0], rec->rgb[1], rec->rgb[2]);
}
