// SPDX-License-Identifier: GPL-3.0-or-later
// The tracer window: trimming, indentation, timed sections with a replaced
// clock, the list of lines, lines from other threads; the debug settings;
// the trace file beside a program in a dotted folder.
#include <filesystem>
#include <thread>

#include <QListWidget>

#include "tWindowFixture.h"
#include "xTrace.h"
#include "zCfgDbg.h"
#include "zStatus.h"
#include "zTrace.h"

namespace {

class TTraceTest : public TFrameworkTest {
protected:
    void SetUp() override {
        TFrameworkTest::SetUp();
        TzfmTrace::Clock = [this] { return m_now; };
        m_trace = qobject_cast<TzfmTrace*>(TzfmForm::CreateForm(TzfmTrace::staticMetaObject));
        ASSERT_NE(m_trace, nullptr);
        m_trace->setSaveLayout(false);
        Trac = m_trace;
    }
    void TearDown() override {
        TzfmForm::DestroyForm(m_trace);
        TzfmTrace::Clock = nullptr;
        TFrameworkTest::TearDown();
    }

    std::uint32_t m_now = 1000;
    TzfmTrace* m_trace = nullptr;
};

TEST_F(TTraceTest, TrimmingRemovesAFifthPlusOneInOneBatch) {
    struct TCase {
        int maxTrace;
        int lines;
        int expected;
    };
    const TCase cases[] = {
        {10, 10, 10}, {10, 11, 8}, {100, 101, 80}, {100, 120, 99}, {100, 121, 100}, {100, 122, 80},
    };
    for (const auto& c : cases) {
        m_trace->ListBox()->clear();
        m_trace->SetMaxTrace(c.maxTrace);
        for (int i = 1; i <= c.lines; ++i)
            m_trace->Msg("line " + std::to_string(i));
        EXPECT_EQ(m_trace->Lines().size(), c.expected) << c.maxTrace << "/" << c.lines;
        EXPECT_EQ(m_trace->Lines().back(), QString("line %1").arg(c.lines));
    }
}

TEST_F(TTraceTest, TimedSectionsWithAReplacedClock) {
    m_trace->PushTime("outer");
    m_trace->PushTime("middle");
    m_trace->PushTime("inner");
    m_trace->Msg("deep");
    m_now += 1234;
    m_trace->PopTime();
    m_now += 500;
    m_trace->PopTime("middle part");
    const QStringList expected = {
        " Working: outer", "  Working: middle",        "   Working: inner",
        "   deep",         "   1.23s: inner is done.", "  1.73s: middle part",
    };
    EXPECT_EQ(m_trace->Lines(), expected);
    EXPECT_EQ(m_trace->Indent(), 1);
    EXPECT_EQ(m_trace->TimeText(), "1.73s");
    // Pushing past the deepest level reuses it.
    for (int i = 0; i < 15; ++i)
        m_trace->PushTime("x");
    EXPECT_EQ(m_trace->Indent(), TzfmTrace::kMaxIndent);
}

// An indent of 9 or 10 is not raised by a list, and must not be lowered by it.
TEST_F(TTraceTest, StringListsKeepTheIndentTheyFound) {
    struct TCase {
        int indent;
        int listIndent;
    };
    for (const auto& c : {TCase{0, 2}, TCase{8, 10}, TCase{9, 9}, TCase{10, 10}}) {
        m_trace->ListBox()->clear();
        m_trace->Clear();
        for (int i = 0; i < c.indent; ++i)
            m_trace->PushTime("s");
        m_trace->MsgStringList("title", {"a", "b"});
        EXPECT_EQ(m_trace->Indent(), c.indent);
        const auto lines = m_trace->Lines();
        EXPECT_EQ(lines.back(), QString(c.listIndent, ' ') + "----end----");
        EXPECT_EQ(lines[lines.size() - 3], QString(c.listIndent, ' ') + "a");
    }
}

TEST_F(TTraceTest, DisabledTracerAndDisabledListing) {
    m_trace->SetEnabled(false);
    m_trace->Msg("not recorded");
    m_trace->Error("nor this");
    EXPECT_TRUE(m_trace->Lines().isEmpty());
    m_trace->SetEnabled(true);
    m_trace->Error("bad");
    m_trace->ErrorFmt("%s %d", "code", 7);
    EXPECT_EQ(m_trace->Lines(), (QStringList{"Error: bad", "Error: code 7"}));
    m_trace->findChild<QAction*>("miDisable")->trigger();
    m_trace->Msg("built, not listed");
    EXPECT_EQ(m_trace->Line(), "built, not listed");
    EXPECT_EQ(m_trace->Lines().size(), 2);
}

TEST_F(TTraceTest, FormatFaultsAreTraced) {
    m_trace->MsgFmt("%d apples", "seven");
    ASSERT_TRUE(WaitFor([&] { return m_trace->Lines().size() == 2; }));
    EXPECT_EQ(m_trace->Lines()[0], "%d apples");
    EXPECT_TRUE(m_trace->Lines()[1].startsWith("Format: %d does not fit argument 0"));
}

TEST_F(TTraceTest, LinesFromOtherThreadsArriveInOrder) {
    std::thread worker([] {
        for (int i = 0; i < 20; ++i)
            TzfmTrace::AddPostString("post " + std::to_string(i));
    });
    worker.join();
    m_trace->Msg("from the window thread");
    ASSERT_TRUE(WaitFor([&] { return m_trace->Lines().size() == 21; }));
    const auto lines = m_trace->Lines();
    EXPECT_EQ(lines[0], "from the window thread");
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(lines[i + 1], QString("post %1").arg(i));
}

TEST_F(TTraceTest, MaxTraceFromTheFileIsClamped) {
    struct TCase {
        const char* value;
        int expected;
    };
    for (const auto& c : {TCase{"0", 10}, TCase{"-5", 10}, TCase{"250", 250},
                          TCase{"99999999", 10000}, TCase{"junk", 100}}) {
        CfgDbg = {};
        WriteFile(IniPath(), std::string("[Debug]\nMaxTrace=") + c.value + "\n");
        TCfgDbg::Read();
        EXPECT_EQ(CfgDbg.MaxTrace, c.expected) << c.value;
    }
}

TEST_F(TTraceTest, StatusLineBindingSurvivesEitherSideGoingFirst) {
    TzStatusBar bar;
    bar.AddPanel("StatMsg");
    auto* owner = TzfmForm::Create<TzfmForm>();
    owner->setSaveLayout(false);
    auto* status = new TzStatus(owner, &bar);
    m_trace->SetBindStatus(status);
    m_trace->SetToStatus(true);
    m_trace->Msg("copied");
    EXPECT_EQ(status->MessagePanel()->text(), "copied");
    delete status; // the tracer forgets it
    m_trace->Msg("after");
    EXPECT_EQ(m_trace->Lines().back(), "after");
    TzfmForm::DestroyForm(owner);
}

// The trace file is named from the program's base path, never by cutting
// at the first "." (which lies in the folder here), and leaves the result
// log alone.
TEST_F(TTraceTest, TraceFileInADottedProgramFolder) {
    const std::string folder = Path(".local/app-1.2");
    std::filesystem::create_directories(folder);
    ::setenv("RAVELOX_HOME", folder.c_str(), 1);
    const std::string log = folder + "/ravelox.log";
    WriteFile(log, "RESULTS");
    TxTrace::Open();
    TxTrace::trString("one");
    TxTrace::trObject(m_trace, "obj");
    TxTrace::Close();
    TxTrace::trString("after close");
    EXPECT_EQ(TxTrace::FileName(), folder + "/ravelox.trace");
    EXPECT_EQ(ReadFile(log), "RESULTS");
    EXPECT_EQ(ReadFile(TxTrace::FileName()),
              "[Open]\none\n            :TzfmTrace        obj\n[Close]\n");
    EXPECT_FALSE(Exists(Path(".LOG")));
    EXPECT_FALSE(Exists(Path(".local/app-1.LOG")));
}

} // namespace
