// The console-variable registry: registration, lookup, assignment, and the
// host's own variables.
#include "testutil.h"

#include "cvar/cvar.h"
#include "cvar/catalog.h"
#include "fx/fx.h"
#include "fx/simpletunnel.h"
#include "host/host.h"
#include "host/hostvars.h"

// Each test starts from an empty registry and puts the previous one back.
class CvarRegistry : public testing::Test {
protected:
    void SetUp() override
    {
        saved = cvarList;
        cvarList = nullptr;
    }
    void TearDown() override { cvarList = saved; }
    Cvar *saved = nullptr;
};

static int changes;
static void countChange(void) { changes++; }

TEST_F(CvarRegistry, RegistrationCopiesTheTextAndLinksNewestFirst)
{
    static Cvar a = cvarDefine("test_a", "12.5", 0, 255);
    static Cvar b = cvarDefine("test_b", "3x", 0, 0);
    static const char *const defaultText = a.text;
    CvarRegister(&a);
    CvarRegister(&b);
    EXPECT_NE(a.text, defaultText);
    EXPECT_STREQ(a.text, "12.5");
    EXPECT_FLOAT_EQ(a.value, 12.5f);
    EXPECT_FLOAT_EQ(b.value, 3.0f); // leading numeric prefix only
    EXPECT_EQ(cvarList, &b);
    EXPECT_EQ(b.next, &a);
    EXPECT_EQ(CvarFind("test_a"), &a);
    EXPECT_EQ(CvarFind("TEST_A"), nullptr);
    EXPECT_EQ(CvarFind("test_"), nullptr);
}

TEST_F(CvarRegistry, DuplicateNameIsRefusedAndLeavesBothRecordsAsTheyWere)
{
    static Cvar first = cvarDefine("test_dup", "1", 0, 0);
    static Cvar second = cvarDefine("test_dup", "2", 0, 0);
    static const char *const secondDefault = second.text;
    CvarRegister(&first);
    testing::internal::CaptureStdout();
    CvarRegister(&second);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Cvar]: Cant register variable test_dup, allready defined\n");
    EXPECT_EQ(CvarFind("test_dup"), &first);
    EXPECT_EQ(second.text, secondDefault);
    EXPECT_EQ(second.next, nullptr);
}

TEST_F(CvarRegistry, AssignmentSetsTextAndValueButNeverTheVector)
{
    static Cvar colour = cvarDefine("test_colour", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 0.8f, 0.6f, 1);
    colour.onChange = countChange;
    CvarRegister(&colour);
    changes = 0;

    CvarSet("test_colour", "0.5");
    EXPECT_FLOAT_EQ(colour.value, 0.5f);
    EXPECT_FLOAT_EQ(colour.vec[0], 1.0f);
    EXPECT_FLOAT_EQ(colour.vec[1], 0.8f);
    EXPECT_EQ(changes, 1);

    CvarSet("test_colour", "abc");
    EXPECT_STREQ(colour.text, "abc");
    EXPECT_EQ(colour.value, 0.0f);

    // Assigning a variable its own text must not read freed memory.
    CvarSet("test_colour", colour.text);
    EXPECT_STREQ(colour.text, "abc");
    EXPECT_EQ(changes, 3);

    testing::internal::CaptureStdout();
    CvarSet("test_missing", "1");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Cvar]: Variable test_missing not found\n");
}

TEST_F(CvarRegistry, HostGroupsRegisterInOrderWithTheirDefaults)
{
    hostRegisterGroup1();
    hostRegisterGroup2();
    hostRegisterGroup3();
    std::vector<std::string> names;
    for (Cvar *c = cvarList; c; c = c->next)
        names.insert(names.begin(), c->name);
    ASSERT_EQ(names.size(), 35u);
    EXPECT_EQ(names[0], "env_fps");
    EXPECT_EQ(names[4], "env_console_lines");
    EXPECT_EQ(names[5], "backimage_texture_idx");
    EXPECT_EQ(names[10], "backimage_factor");
    EXPECT_EQ(names[11], "post_brightnedd");
    EXPECT_EQ(names[34], "fx_time");

    EXPECT_FLOAT_EQ(env_interval.value, 1.0f);
    EXPECT_FLOAT_EQ(env_console_lines.value, 15.0f);
    EXPECT_FLOAT_EQ(post_brightnedd.value, 1.0f);
    EXPECT_FLOAT_EQ(post_aberration_offset.value, 100.0f);
    EXPECT_EQ(post_glow_color.kind, CVAR_COLOR);
    EXPECT_FLOAT_EQ(post_glow_color.vec[3], 1.0f);
    EXPECT_FLOAT_EQ(post_glow_threshold.vec[0], 0.0f);
    EXPECT_FLOAT_EQ(backimage_x.min, -1024.0f);
    EXPECT_FLOAT_EQ(fx_time.max, 180.0f);
}

// The host's records and every bound record (the effects' too, registered or
// not: kind and name are fixed when they are declared) agree with the
// catalog the production is checked against.
TEST_F(CvarRegistry, RegisteredVariablesMatchTheCatalog)
{
    hostRegisterGroup1();
    intro_setup(); // the effects that have landed register theirs, assets or not
    particles_setup();
    hostRegisterGroup2();
    hostRegisterGroup3();
    Cvar *tracked[256];
    int count = hostTrackedList(tracked, 256);
    ASSERT_LE(count, 256);
    std::set<std::string> bound;
    for (int i = 0; i < count; i++) {
        bound.insert(tracked[i]->name);
        const CvarCatalogEntry *entry = cvarCatalogFind(tracked[i]->name);
        ASSERT_NE(entry, nullptr) << tracked[i]->name;
        EXPECT_TRUE(entry->tracked) << tracked[i]->name << " is bound but not tracked in the catalog";
        EXPECT_EQ(entry->kind, tracked[i]->kind) << tracked[i]->name;
    }
    EXPECT_EQ(bound.size(), (size_t)count); // nothing bound twice
    for (Cvar *c = cvarList; c; c = c->next) {
        const CvarCatalogEntry *entry = cvarCatalogFind(c->name);
        ASSERT_NE(entry, nullptr) << c->name;
        EXPECT_EQ(entry->kind, c->kind) << c->name;
        EXPECT_EQ(entry->tracked, bound.count(c->name) == 1) << c->name;
    }
}
