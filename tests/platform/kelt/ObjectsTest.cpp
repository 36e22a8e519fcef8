#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using rdz::kelt::Children;

void RecordVisit(void* object, obj_apply_data_t data) {
    const char* name = static_cast<document_object_t*>(object)->name;
    reinterpret_cast<std::vector<std::string>*>(data)->push_back(name != nullptr ? name : "-");
}

std::vector<std::string> Names(gen_list_type* list) {
    std::vector<std::string> out;
    list_iterator_t it;
    GL_all_items(list, &it);
    void* item = nullptr;
    while (GL_next_item(&it, &item)) {
        const char* name = static_cast<document_object_t*>(item)->name;
        out.push_back(name != nullptr ? name : "-");
    }
    return out;
}

/// doc -> page -> { layer1 -> { group -> { p1 (mask) , p2 }, p3 }, layer2 }
class KeltObjects : public testing::Test {
  protected:
    rdz::kelt::ScopedDocument doc{"doc"};
    inkt_t* ink = rdz::kelt::AddCmykInks(doc)[0];
    paint_t* paint = rdz::kelt::AddSolid(doc, {{ink, 0.5}});
    document_object_t* page = rdz::kelt::AddComponent(doc, "page");
    document_object_t* layer1 = rdz::kelt::AddLayer(page, "layer1");
    document_object_t* group = rdz::kelt::AddGroup(layer1, "group");
    document_object_t* p1 = rdz::kelt::AddPath(group, paint, "p1");
    document_object_t* p2 = rdz::kelt::AddPath(group, nullptr, "p2");
    document_object_t* p3 = rdz::kelt::AddPath(layer1, paint, "p3");
    document_object_t* layer2 = rdz::kelt::AddLayer(page, "layer2");
    document_object_t* maskContent = rdz::kelt::AddOpacityMask(rdz::kelt::Attributes(p1)[0], 22);
    document_object_t* maskPath = rdz::kelt::AddPath(maskContent, paint, "maskPath");
};

TEST_F(KeltObjects, ApplyRecursiveVisitsObjectThenDescendantsDepthFirst) {
    std::vector<std::string> visited;
    OBJ_apply_recursive(RecordVisit, doc, reinterpret_cast<obj_apply_data_t>(&visited));
    EXPECT_EQ(
        (std::vector<std::string>{"doc", "page", "layer1", "group", "p1", "p2", "p3", "layer2"}),
        visited);
}

TEST_F(KeltObjects, ResetMarkClearsEveryMarkBelow) {
    for (document_object_t* o : {page, layer1, group, p1, p2, p3, layer2}) {
        o->mark = 5;
    }
    OBJ_apply_recursive(OBJ_reset_mark_f, layer1, 0);
    EXPECT_EQ(5, page->mark);
    EXPECT_EQ(5, layer2->mark);
    for (document_object_t* o : {layer1, group, p1, p2, p3}) {
        EXPECT_EQ(0, o->mark);
    }
}

TEST_F(KeltObjects, CollectFindsStylesAndMasks) {
    gen_list_type* list = GL_create();
    OBJ_collect(OBJ_has_opacity_mask, TheDoc, list);
    EXPECT_EQ((std::vector<std::string>{"p1"}), Names(list));
    GL_release(list);

    list = GL_create();
    OBJ_collect(OBJ_has_style, doc, list);
    EXPECT_EQ((std::vector<std::string>{"p1", "p3"}), Names(list));  // mask content not walked
    GL_release(list);

    list = GL_create();
    OBJ_collect(OBJ_has_style, maskContent, list);
    EXPECT_EQ((std::vector<std::string>{"maskPath"}), Names(list));
    GL_release(list);
}

TEST_F(KeltObjects, AttributesCarryReplaceablePaintAndMask) {
    attribute_t* attribute = rdz::kelt::Attributes(p1)[0];
    EXPECT_EQ(1, ATR_contains_alfa(attribute));
    paint_info_t* info = ATR_get_paint_info(attribute);
    ASSERT_NE(nullptr, info);
    ASSERT_NE(nullptr, info->transparency);
    ASSERT_NE(nullptr, info->transparency->mask);
    EXPECT_EQ(22, info->transparency->mask->maskKind);
    EXPECT_EQ(maskContent, info->transparency->mask->maskContent);

    paint_t* other = rdz::kelt::AddSolid(doc, {{ink, 1.0}});
    info->paint = other;
    EXPECT_EQ(other, ATR_get_paint_info(rdz::kelt::Attributes(p1)[0])->paint);

    attribute_t* plain = rdz::kelt::Attributes(p3)[0];
    EXPECT_EQ(0, ATR_contains_alfa(plain));
    EXPECT_EQ(nullptr, ATR_get_paint_info(plain)->transparency);
    EXPECT_EQ(nullptr, ATR_get_paint_info(rdz::kelt::AddAttribute(p2, nullptr)));
    EXPECT_EQ(0, OBJ_has_style(p2));
}

TEST_F(KeltObjects, DeleteDetachesAndFreesTheSubtree) {
    OBJ_delete(group);  // ASan reports a leak or a later use if this goes wrong
    EXPECT_EQ((std::vector<document_object_t*>{p3}), Children(layer1));
    page->layer = layer2;
    OBJ_delete(layer2);
    EXPECT_EQ(nullptr, page->layer);
    EXPECT_EQ((std::vector<document_object_t*>{layer1}), Children(page));
}

TEST_F(KeltObjects, DeleteRefusesPartsOwnedElsewhere) {
    rdz::kelt::RecordingMessageSink sink;
    OBJ_delete(maskContent);
    OBJ_delete(doc->ctDefinitions);
    EXPECT_EQ(2u, sink.count(rdz::kelt::MessageLevel::Error));
    EXPECT_EQ(maskPath, Children(maskContent)[0]);
    EXPECT_NE(nullptr, doc->ctDefinitions);
}

TEST_F(KeltObjects, NamesAndKinds) {
    LAY_set_name(layer1, "");
    EXPECT_STREQ("", layer1->name);
    LAY_set_name(layer1, nullptr);
    EXPECT_EQ(nullptr, layer1->name);
    EXPECT_EQ(OBJ_KIND_COMPONENT, page->kind);
    EXPECT_EQ(doc.get(), page->parent);
    EXPECT_EQ(nullptr, rdz::kelt::AddObject(page, OBJ_KIND_CT_DEF));
    EXPECT_EQ(0, OBJ_is_ct_object(p1));
}

TEST_F(KeltObjects, ExpandAllFormsReplacesFormsByCopiesOfTheirContent) {
    document_object_t* form = rdz::kelt::AddForm(layer2, "form");
    document_object_t* content = rdz::kelt::FormContent(form);
    document_object_t* inner = rdz::kelt::AddPath(content, paint, "inner");
    document_object_t* masked = rdz::kelt::AddPath(content, paint, "masked");
    rdz::kelt::AddPath(rdz::kelt::AddOpacityMask(rdz::kelt::Attributes(masked)[0]), paint, "m");
    document_object_t* nested = rdz::kelt::AddForm(content, "nested");
    rdz::kelt::AddPath(rdz::kelt::FormContent(nested), paint, "deep");
    document_object_t* after = rdz::kelt::AddPath(layer2, nullptr, "after");
    const opacity_mask_t* originalMask =
        ATR_get_paint_info(rdz::kelt::Attributes(masked)[0])->transparency->mask;
    EXPECT_EQ(2, ExpandAllForms(doc));

    std::vector<document_object_t*> children = Children(layer2);
    ASSERT_EQ(2u, children.size());
    document_object_t* copy = children[0];
    EXPECT_EQ(OBJ_KIND_GROUP, copy->kind);
    EXPECT_EQ(layer2, copy->parent);
    EXPECT_EQ(after, children[1]);

    std::vector<document_object_t*> copied = Children(copy);
    ASSERT_EQ(3u, copied.size());
    (void)inner;
    EXPECT_STREQ("inner", copied[0]->name);
    EXPECT_EQ(paint, ATR_get_paint_info(rdz::kelt::Attributes(copied[0])[0])->paint);
    paint_info_t* maskInfo = ATR_get_paint_info(rdz::kelt::Attributes(copied[1])[0]);
    ASSERT_NE(nullptr, maskInfo->transparency);
    EXPECT_NE(originalMask, maskInfo->transparency->mask);  // the form and its content are gone
    EXPECT_STREQ("m", Children(maskInfo->transparency->mask->maskContent)[0]->name);
    EXPECT_STREQ("deep", Children(copied[2])[0]->name);  // the nested form expanded too
    EXPECT_EQ(OBJ_KIND_GROUP, copied[2]->kind);
    EXPECT_EQ(0, ExpandAllForms(doc));
}

TEST(KeltDocument, ColourSpaceAndNoise) {
    rdz::kelt::ScopedDocument doc;
    EXPECT_EQ(0, DOC_is_colorspace_tagged(doc));
    EXPECT_EQ(nullptr, DOC_get_colorspace(doc));
    rdz::kelt::SetColorSpace(doc, "ISO Coated v2", true);
    EXPECT_EQ(1, DOC_is_colorspace_tagged(doc));
    EXPECT_STREQ("ISO Coated v2", DOC_get_colorspace(doc));
    EXPECT_EQ(1, DOC_is_colorspace_in_database(doc));
    rdz::kelt::SetColorSpace(doc, "Unknown", false);
    EXPECT_EQ(0, DOC_is_colorspace_in_database(doc));

    EXPECT_EQ(1, rdz::kelt::NoiseLevel());
    EXPECT_EQ(1, VGE_set_enable_noise(2));
    EXPECT_EQ(2, VGE_set_enable_noise(1));
}

TEST(KeltDocument, TheDocFollowsCreationAndDestruction) {
    document_object_t* first = rdz::kelt::NewDocument("first");
    document_object_t* second = rdz::kelt::NewDocument("second");
    EXPECT_EQ(second, TheDoc);
    rdz::kelt::DestroyDocument(first);
    EXPECT_EQ(second, TheDoc);
    OBJ_delete(second);  // deleting a document destroys it
    EXPECT_EQ(nullptr, TheDoc);
    EXPECT_EQ(0, IDB_count_inks());
    PDB_replace_registration_inks();  // harmless without a document
}

}  // namespace
