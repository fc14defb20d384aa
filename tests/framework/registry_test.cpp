#include "framework/registry.h"

#include <gtest/gtest.h>

namespace {

const fw::RuntimeClass kRecordBase{"TableRecord", nullptr};
const fw::RuntimeClass kGuest{"CGstProfileTbl", &kRecordBase};
const fw::RuntimeClass kFolio{"CFOLIOTbl", &kRecordBase};
const fw::RuntimeClass kOther{"COtherTbl", nullptr};

int registered = 0;
int withdrawn = 0;
void CountRegister() { ++registered; }
void CountWithdraw() { ++withdrawn; }

class Registry : public ::testing::Test {
  protected:
    void SetUp() override { registered = withdrawn = 0; }
    void TearDown() override {
        fw::SetRegistrationFailure(false);
        for (const char* name : {"reservation", "other", "third"}) fw::WithdrawExtension(name);
    }

    static fw::ModuleRegistration Module(const char* name,
                                         std::vector<const fw::RuntimeClass*> classes) {
        return fw::ModuleRegistration{name, &CountRegister, &CountWithdraw, std::move(classes)};
    }
};

}  // namespace

TEST_F(Registry, RegisteredClassesAreFoundByExactName) {
    ASSERT_TRUE(fw::RegisterExtension(Module("reservation", {&kGuest, &kFolio})));
    ASSERT_TRUE(fw::RegisterExtension(Module("other", {&kOther})));
    EXPECT_EQ(registered, 2);
    EXPECT_TRUE(fw::IsExtensionRegistered("reservation"));
    EXPECT_EQ(fw::FindRegisteredClass("CGstProfileTbl"), &kGuest);
    EXPECT_EQ(fw::FindRegisteredClass("CFOLIOTbl"), &kFolio);
    EXPECT_EQ(fw::FindRegisteredClass("COtherTbl"), &kOther);
    EXPECT_EQ(fw::FindRegisteredClass("cgstprofiletbl"), nullptr);
    EXPECT_EQ(fw::FindRegisteredClass("CGstProfile"), nullptr);
    EXPECT_EQ(fw::FindRegisteredClass(""), nullptr);
    EXPECT_TRUE(fw::FindRegisteredClass("CFOLIOTbl")->IsDerivedFrom(&kRecordBase));
    EXPECT_FALSE(kOther.IsDerivedFrom(&kRecordBase));
}

TEST_F(Registry, SecondRegistrationOfANameFailsAndKeepsTheFirst) {
    ASSERT_TRUE(fw::RegisterExtension(Module("reservation", {&kGuest})));
    EXPECT_FALSE(fw::RegisterExtension(Module("reservation", {&kOther})));
    EXPECT_EQ(registered, 1);
    EXPECT_EQ(fw::FindRegisteredClass("CGstProfileTbl"), &kGuest);
    EXPECT_EQ(fw::FindRegisteredClass("COtherTbl"), nullptr);
}

TEST_F(Registry, FailureSeamRefusesUntilCleared) {
    fw::SetRegistrationFailure(true);
    EXPECT_FALSE(fw::RegisterExtension(Module("reservation", {&kGuest})));
    EXPECT_FALSE(fw::RegisterExtension(Module("other", {&kOther})));
    EXPECT_EQ(registered, 0);
    EXPECT_FALSE(fw::IsExtensionRegistered("reservation"));
    EXPECT_EQ(fw::FindRegisteredClass("CGstProfileTbl"), nullptr);
    fw::SetRegistrationFailure(false);
    EXPECT_TRUE(fw::RegisterExtension(Module("reservation", {&kGuest})));
}

TEST_F(Registry, WithdrawalRemovesClassesAndResourcesOnce) {
    ASSERT_TRUE(fw::RegisterExtension(Module("reservation", {&kGuest, &kFolio})));
    ASSERT_TRUE(fw::RegisterExtension(Module("other", {&kOther})));
    fw::WithdrawExtension("reservation");
    EXPECT_EQ(withdrawn, 1);
    EXPECT_FALSE(fw::IsExtensionRegistered("reservation"));
    EXPECT_EQ(fw::FindRegisteredClass("CGstProfileTbl"), nullptr);
    EXPECT_EQ(fw::FindRegisteredClass("COtherTbl"), &kOther);
    fw::WithdrawExtension("reservation");
    fw::WithdrawExtension("never registered");
    fw::WithdrawExtension(nullptr);
    EXPECT_EQ(withdrawn, 1);
    // Withdrawn, the name can be registered again (a reload).
    EXPECT_TRUE(fw::RegisterExtension(Module("reservation", {&kGuest})));
}

TEST_F(Registry, NullCallbacksAndNamelessModules) {
    EXPECT_FALSE(fw::RegisterExtension(fw::ModuleRegistration{nullptr, nullptr, nullptr, {}}));
    EXPECT_TRUE(
        fw::RegisterExtension(fw::ModuleRegistration{"third", nullptr, nullptr, {&kOther}}));
    fw::WithdrawExtension("third");
    EXPECT_EQ(fw::FindRegisteredClass("COtherTbl"), nullptr);
}
