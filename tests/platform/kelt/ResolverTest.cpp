#include <gtest/gtest.h>

#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using rdz::kelt::Children;
using rdz::kelt::ResolverStep;

TEST(KeltResolver, KeepsOptionsInOrderAndRefusesBadOnes) {
    rdz::kelt::ScopedDocument doc;
    kelt_resolver_t* resolver = KELT_Reso_CreateResolver();
    ASSERT_NE(nullptr, resolver);
    const int zero = 0;
    const double accuracy = 0.01;
    EXPECT_EQ(0, KELT_Reso_SetOption(resolver, "technicalinksasnormal", KELT_RESO_INT, &zero));
    EXPECT_EQ(0, KELT_Reso_SetOption(resolver, "accuracy", KELT_RESO_DOUBLE, &accuracy));
    EXPECT_EQ(0, KELT_Reso_SetOption(resolver, "blendmodelevel", KELT_RESO_TEXT, "Opaque"));
    EXPECT_EQ(-1, KELT_Reso_SetOption(resolver, "bad", 7, &zero));
    EXPECT_EQ(-1, KELT_Reso_SetOption(resolver, nullptr, KELT_RESO_INT, &zero));
    EXPECT_EQ(-1, KELT_Reso_SetOption(resolver, "null", KELT_RESO_INT, nullptr));
    KELT_Reso_DeleteResolver(resolver);

    const auto& sessions = rdz::kelt::ResolverSessions(doc);
    ASSERT_EQ(1u, sessions.size());
    EXPECT_TRUE(sessions[0].deleted);
    const auto& options = sessions[0].options;
    ASSERT_EQ(3u, options.size());
    EXPECT_EQ("technicalinksasnormal", options[0].key);
    EXPECT_EQ(KELT_RESO_INT, options[0].kind);
    EXPECT_EQ(0, options[0].intValue);
    EXPECT_EQ(KELT_RESO_DOUBLE, options[1].kind);
    EXPECT_DOUBLE_EQ(0.01, options[1].doubleValue);
    EXPECT_EQ(KELT_RESO_TEXT, options[2].kind);
    EXPECT_EQ("Opaque", options[2].textValue);
}

TEST(KeltResolver, CreationFailsWhenSwitchedOffOrWithoutDocument) {
    EXPECT_EQ(nullptr, KELT_Reso_CreateResolver());
    rdz::kelt::ScopedDocument doc;
    rdz::kelt::SetResolverAvailable(doc, false);
    EXPECT_EQ(nullptr, KELT_Reso_CreateResolver());
    EXPECT_TRUE(rdz::kelt::ResolverSessions(doc).empty());
    rdz::kelt::SetResolverAvailable(doc, true);
    kelt_resolver_t* resolver = KELT_Reso_CreateResolver();
    EXPECT_NE(nullptr, resolver);
    KELT_Reso_DeleteResolver(resolver);
}

TEST(KeltResolver, ResolvedLayerComesFirstAndHoldsCopiesOfTheContent) {
    rdz::kelt::ScopedDocument doc;
    paint_t* paint = rdz::kelt::AddSolid(doc, {});
    document_object_t* page = rdz::kelt::AddComponent(doc, "page");
    document_object_t* a = rdz::kelt::AddLayer(page, "a");
    rdz::kelt::AddPath(a, paint, "path");
    document_object_t* b = rdz::kelt::AddLayer(page, "b");
    document_object_t* form = rdz::kelt::AddForm(b, "form");
    rdz::kelt::AddPath(rdz::kelt::FormContent(form), paint, "formPath");

    kelt_resolver_t* resolver = KELT_Reso_CreateResolver();
    EXPECT_EQ(-1, KELT_Reso_Apply(resolver));  // nothing resolved yet
    EXPECT_EQ(0, KELT_Reso_Resolve(resolver, page));
    EXPECT_EQ((std::vector<document_object_t*>{a, b}), Children(page));  // not before Apply
    EXPECT_EQ(0, KELT_Reso_Apply(resolver));
    EXPECT_EQ(0, KELT_Reso_Flush(resolver));
    KELT_Reso_DeleteResolver(resolver);

    std::vector<document_object_t*> children = Children(page);
    ASSERT_EQ(3u, children.size());
    document_object_t* resolved = children[0];
    EXPECT_EQ(OBJ_KIND_LAYER, resolved->kind);
    EXPECT_EQ(page, resolved->parent);
    EXPECT_EQ(a, children[1]);
    EXPECT_EQ(b, children[2]);
    std::vector<document_object_t*> copies = Children(resolved);
    ASSERT_EQ(2u, copies.size());
    EXPECT_STREQ("path", Children(copies[0])[0]->name);
    EXPECT_EQ(paint, ATR_get_paint_info(rdz::kelt::Attributes(Children(copies[0])[0])[0])->paint);
    EXPECT_STREQ("formPath", Children(Children(copies[1])[0])[0]->name);  // form expanded
    EXPECT_EQ(form, Children(b)[0]);  // the original is left alone

    const auto& events = rdz::kelt::ResolverSessions(doc)[0].events;
    ASSERT_EQ(4u, events.size());
    EXPECT_EQ(ResolverStep::Apply, events[0].step);
    EXPECT_EQ(-1, events[0].result);
    EXPECT_EQ(ResolverStep::Resolve, events[1].step);
    EXPECT_EQ(page, events[1].component);
    EXPECT_EQ(ResolverStep::Apply, events[2].step);
    EXPECT_EQ(page, events[2].component);
    EXPECT_EQ(ResolverStep::Flush, events[3].step);
}

TEST(KeltResolver, DeletedComponentOrDocumentIsNotTouchedLater) {
    document_object_t* doc = rdz::kelt::NewDocument();
    document_object_t* page = rdz::kelt::AddComponent(doc);
    rdz::kelt::AddLayer(page);
    kelt_resolver_t* resolver = KELT_Reso_CreateResolver();
    ASSERT_EQ(0, KELT_Reso_Resolve(resolver, page));
    OBJ_delete(page);
    EXPECT_EQ(-1, KELT_Reso_Apply(resolver));  // ASan reports a use after free otherwise

    document_object_t* page2 = rdz::kelt::AddComponent(doc);
    ASSERT_EQ(0, KELT_Reso_Resolve(resolver, page2));
    rdz::kelt::DestroyDocument(doc);
    EXPECT_EQ(-1, KELT_Reso_Apply(resolver));
    EXPECT_EQ(-1, KELT_Reso_Flush(resolver));
    KELT_Reso_DeleteResolver(resolver);
}

}  // namespace
