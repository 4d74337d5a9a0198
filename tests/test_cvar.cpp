// The console-variable registry: registration, lookup, assignment, and the
// host's own variables.
#include "testutil.h"

#include "catalog.h"
#include "cvar/cvar.h"
#include "fx/fx.h"
#include "host/host.h"
#include "host/hostvars.h"

// Each test starts from an empty registry and puts the previous one back.
class CvarRegistry : public testing::Test {
protected:
    void SetUp() override { saved = cvarList, cvarList = nullptr; }
    void TearDown() override { cvarList = saved; }
    Cvar *saved = nullptr;
};

static int changes;
static void countChange(void) { changes++; }

TEST_F(CvarRegistry, RegisterCopiesTextLinksNewestFirstRefusesDuplicates)
{
    static Cvar a = cvarDefine("test_a", "12.5", 0, 255), b = cvarDefine("test_b", "3x", 0, 0);
    static Cvar dup = cvarDefine("test_a", "2", 0, 0);
    static const char *const defaultText = a.text, *const dupDefault = dup.text;
    CvarRegister(&a), CvarRegister(&b);
    EXPECT_NE(a.text, defaultText); // a copy of its own
    EXPECT_STREQ(a.text, "12.5");
    EXPECT_EQ(a.value, 12.5f);
    EXPECT_EQ(b.value, 3.0f); // leading numeric prefix only
    EXPECT_EQ(cvarList, &b);
    EXPECT_EQ(b.next, &a);
    for (auto [name, found] : {std::pair<const char *, Cvar *>{"test_a", &a}, {"TEST_A", nullptr}, {"test_", nullptr}})
        EXPECT_EQ(CvarFind(name), found) << name;
    EXPECT_EQ(captured([] { CvarRegister(&dup); }), "[Cvar]: Cant register variable test_a, allready defined\n");
    EXPECT_EQ(CvarFind("test_a"), &a);
    EXPECT_EQ(dup.text, dupDefault);
    EXPECT_EQ(dup.next, nullptr);
    EXPECT_EQ(cvarList, &b);
}

TEST_F(CvarRegistry, AssignmentSetsTextAndValueButNeverTheVector)
{
    static Cvar colour = cvarDefine("test_colour", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 0.8f, 0.6f, 1);
    colour.onChange = countChange;
    CvarRegister(&colour);
    changes = 0;
    CvarSet("test_colour", "0.5");
    EXPECT_EQ(colour.value, 0.5f);
    EXPECT_EQ(std::vector<float>(colour.vec, colour.vec + 4), (std::vector<float>{1, 0.8f, 0.6f, 1}));
    EXPECT_EQ(changes, 1);
    CvarSet("test_colour", "abc");
    CvarSet("test_colour", colour.text); // its own text: must not read freed memory
    EXPECT_STREQ(colour.text, "abc");
    EXPECT_EQ(colour.value, 0.0f);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(captured([] { CvarSet("test_missing", "1"); }), "[Cvar]: Variable test_missing not found\n");
}

// The host's records and every bound record (the effects' too, registered or
// not: kind and name are fixed when they are declared) agree with the
// catalog the production is checked against.
TEST_F(CvarRegistry, RegisteredVariablesMatchTheCatalog)
{
    hostRegisterGroup1();
    for (const Effect &effect : fxEffects)
        CvarRegisterList(effect.vars);
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
    std::vector<std::string> names;
    for (Cvar *c = cvarList; c; c = c->next) {
        names.insert(names.begin(), c->name);
        const CvarCatalogEntry *entry = cvarCatalogFind(c->name);
        ASSERT_NE(entry, nullptr) << c->name;
        EXPECT_EQ(entry->kind, c->kind) << c->name;
        EXPECT_EQ(entry->tracked, bound.count(c->name) == 1) << c->name;
    }
    // The host's groups register in order, around the effects' variables.
    EXPECT_EQ(names.front(), "env_fps");
    EXPECT_EQ(names.back(), "fx_time");
}
