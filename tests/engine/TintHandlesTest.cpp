// Engine-neutral handles: counted references, empty handles, and engine-id
// checks against engine objects of the test's own making.
#include <gtest/gtest.h>

#include "EngineFixtures.h"

namespace {

class FakeProfile : public TintEngineProfile {
  public:
    explicit FakeProfile(int* deleted = nullptr) : m_deleted(deleted) {}
    ~FakeProfile() override {
        if (m_deleted != nullptr) {
            ++*m_deleted;
        }
    }
    TintRenderingIntent GetRenderingIntent() const override { return TintRI_Saturation; }
    TintColorSpace GetColorSpace() const override { return TintCS_CMYK; }
    int GetNumberOfChannels() const override { return 4; }
    std::string GetColorantName(unsigned int) const override { return "Fake"; }

  private:
    int* m_deleted;
};

class FakeDLProfile : public TintEngineDLProfile {
  public:
    TintRenderingIntent GetRenderingIntent() const override { return TintRI_Perceptual; }
    TintColorSpace GetInputColorSpace() const override { return TintCS_CMYK; }
    TintColorSpace GetOutputColorSpace() const override { return TintCS_CMYK; }
    int GetNumberOfInputChannels() const override { return 4; }
    int GetNumberOfOutputChannels() const override { return 4; }
    std::string GetInputColorantName(unsigned int) const override { return "Fake"; }
    std::string GetOutputColorantName(unsigned int) const override { return "Fake"; }
};

int TakeAll(int length, const char*, void*) {
    return length;
}

}  // namespace

TEST(TintProfileHandle, CopiesDeleteTheEngineProfileOnceAfterTheLastCopy) {
    for (bool originalGoesFirst : {true, false}) {
        int deleted = 0;
        auto* object = new FakeProfile(&deleted);
        EXPECT_EQ(object->GetReferenceCount(), 0);
        auto original = std::make_unique<TintProfile>(object, 7u);
        auto first = std::make_unique<TintProfile>(*original);
        auto second = std::make_unique<TintProfile>(*first);
        EXPECT_EQ(object->GetReferenceCount(), 3);
        EXPECT_EQ(second->GetEngineId(), 7u);
        (originalGoesFirst ? original : second).reset();
        first.reset();
        EXPECT_EQ(deleted, 0);
        (originalGoesFirst ? second : original).reset();
        EXPECT_EQ(deleted, 1);
    }
}

TEST(TintProfileHandle, AssignmentTakesTheNewReferenceBeforeReleasingTheOld) {
    int deletedA = 0;
    int deletedB = 0;
    TintProfile a(new FakeProfile(&deletedA), 1u);
    TintProfile b(new FakeProfile(&deletedB), 1u);

    const TintProfile& alias = a;
    a = alias;  // the only reference survives assignment to itself
    TintProfile& self = a;
    a = std::move(self);
    EXPECT_EQ(deletedA, 0);
    EXPECT_EQ(a.GetEngineProfile()->GetReferenceCount(), 1);

    a = b;
    EXPECT_EQ(deletedA, 1);
    TintProfile moved(std::move(b));
    EXPECT_FALSE(b.IsValid());  // a moved-from handle is empty
    EXPECT_EQ(moved.GetEngineProfile()->GetReferenceCount(), 2);
    moved = TintProfile();
    a = TintProfile();
    EXPECT_EQ(deletedB, 1);
}

TEST(TintHandles, EmptyHandlesThrowBeforeTouchingAnything) {
    const TintProfile profile;
    EXPECT_EQ(profile.GetEngineId(), kTintEngineIdNone);
    EXPECT_EQ(ThrownMessage([&] { profile.GetColorSpace(); }), "profile invalid");
    EXPECT_EQ(ThrownMessage([&] { profile.GetColorantName(0); }), "profile invalid");

    const TintDLProfile link;
    EXPECT_EQ(ThrownMessage([&] { link.GetInputColorSpace(); }), "profile invalid");
    EXPECT_EQ(ThrownMessage([&] { link.GetOutputColorantName(0); }), "profile invalid");

    const TintLink transform;
    unsigned char pixel[4] = {};
    EXPECT_EQ(ThrownMessage([&] { transform.Transform(1, pixel, pixel); }), "Link invalid");
    EXPECT_EQ(ThrownMessage([&] { transform.GetNumberOfColorSpaces(); }), "Link invalid");

    TintLittleCMS& engine = *TintLittleCMS::GetInstance();
    EXPECT_EQ(ThrownMessage([&] { engine.CreateDeviceLink(link, TintRI_Perceptual, 8, false); }),
              "profile invalid");
    EXPECT_EQ(ThrownMessage(
                  [&] { engine.CreateMultiProfileLink({profile}, TintRI_Perceptual, 8, false); }),
              "profile invalid");
}

TEST(TintLittleCMSEngine, RefusesHandlesOfAnotherEngine) {
    TintLittleCMS& engine = *TintLittleCMS::GetInstance();
    const TintProfile own =
        OpenProfile(HeaderOnlyProfile(cmsSigOutputClass, cmsSigCmykData, cmsSigLabData, 2.1));

    // Another engine's id, and objects that claim LittleCMS's id without
    // being LittleCMS objects.
    for (unsigned int id : {kTintEngineIdICM, kTintEngineIdLittleCMS}) {
        const TintProfile foreign(new FakeProfile(), id);
        const TintDLProfile foreignLink(new FakeDLProfile(), id);
        EXPECT_EQ(foreign.IsSameEngine(own), id == kTintEngineIdLittleCMS);

        const auto intent = TintRI_Perceptual;
        EXPECT_EQ(ThrownMessage([&] { engine.CreateDeviceLink(foreignLink, intent, 8, false); }),
                  "Profiles do not match");
        EXPECT_EQ(ThrownMessage([&] { engine.CreateProfileLink(own, foreign, intent, 8, false); }),
                  "Profiles do not match");
        EXPECT_EQ(ThrownMessage([&] { engine.CreateProfileLink(foreign, own, intent, 8, false); }),
                  "Profiles do not match");
        EXPECT_EQ(ThrownMessage([&] {
                      engine.CreateMultiProfileLink({own, foreign}, intent, 8, false);
                  }),
                  "Profiles do not match");
        EXPECT_EQ(
            ThrownMessage([&] { engine.GetPostScriptCSA(foreign, intent, TakeAll, nullptr); }),
            "Profiles do not match");
    }
}
