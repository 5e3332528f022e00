// SPDX-License-Identifier: GPL-3.0-or-later
// Two copies of the program: FindPrevInstance finds the other copy's main
// window by title (never its own), copy data reaches its DoCopyData, and a
// frame larger than the cap is refused without an answer.
#include <QFile>
#include <QLocalSocket>
#include <QProcess>

#include "tWindowFixture.h"
#include "zCopyData.h"
#include "zMain.h"

namespace {

class TCopyDataTest : public TFrameworkTest {
protected:
    void SetUp() override {
        TFrameworkTest::SetUp();
        m_peer.setProgram(RV_COPYDATA_PEER);
        m_peer.setArguments({"Peer window"});
        m_peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_peer.start();
        ASSERT_TRUE(m_peer.waitForStarted(5000));
        ASSERT_TRUE(WaitFor([this] {
            m_output += m_peer.readAllStandardOutput();
            return m_output.contains("ready") || m_peer.state() == QProcess::NotRunning;
        }));
        ASSERT_TRUE(m_output.contains("ready"));
    }
    void TearDown() override {
        if (m_peer.state() != QProcess::NotRunning) {
            m_peer.kill();
            m_peer.waitForFinished(5000);
        }
        TFrameworkTest::TearDown();
    }

    QProcess m_peer;
    QByteArray m_output;
};

TEST_F(TCopyDataTest, FindPrevInstanceBetweenTwoCopies) {
    auto* own = TzfmForm::Create<TzfmMain>();
    own->setSaveLayout(false);
    own->setWindowTitle("Peer own");
    struct TCase {
        const char* caption;
        bool found;
    };
    for (const auto& c : {TCase{"Peer", true}, TCase{"Peer window", true}, TCase{"Peer own", false},
                          TCase{"Other", false}, TCase{"Peer window and more", false}}) {
        const auto found = own->FindPrevInstance(c.caption);
        EXPECT_EQ(found.has_value(), c.found) << c.caption;
        if (found) {
            EXPECT_EQ(found->Title, "Peer window");
            EXPECT_NE(found->SocketPath, own->CopyDataSocket());
        }
    }
    TzfmForm::DestroyForm(own);
}

TEST_F(TCopyDataTest, CopyDataReachesTheOtherCopyAndOversizedFramesAreRefused) {
    const auto peer = TzCopyDataServer::FindPrevInstance("Peer");
    ASSERT_TRUE(peer.has_value());
    EXPECT_EQ(TzCopyDataServer::SendCopyData(*peer, 7, "hello"), 57u);
    // Too large to send at all.
    const QByteArray large(TzCopyDataServer::kMaxCopyData + 1, 'x');
    EXPECT_FALSE(TzCopyDataServer::SendCopyData(*peer, 1, large).has_value());
    // A hand-made frame announcing more than the cap: cut off, no answer.
    QLocalSocket raw;
    raw.connectToServer(peer->SocketPath);
    ASSERT_TRUE(raw.waitForConnected(2000));
    QByteArray header;
    for (std::uint32_t value : {TzCopyDataServer::kMagic, TzCopyDataServer::kKindCopyData, 1u,
                                TzCopyDataServer::kMaxCopyData + 1})
        for (int i = 0; i < 4; ++i)
            header.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    raw.write(header);
    raw.waitForBytesWritten(2000);
    EXPECT_TRUE(raw.state() == QLocalSocket::UnconnectedState || raw.waitForDisconnected(3000));
    EXPECT_TRUE(raw.readAll().isEmpty());
    // A frame with a wrong magic number likewise.
    QLocalSocket bad;
    bad.connectToServer(peer->SocketPath);
    ASSERT_TRUE(bad.waitForConnected(2000));
    bad.write(QByteArray(16, '\x7f'));
    bad.waitForBytesWritten(2000);
    EXPECT_TRUE(bad.state() == QLocalSocket::UnconnectedState || bad.waitForDisconnected(3000));
    // The copy still answers.
    EXPECT_EQ(TzCopyDataServer::SendCopyData(*peer, 2, QByteArray(1000, 'y')), 10002u);
    EXPECT_EQ(TzCopyDataServer::SendCopyData(*peer, 99, {}), 99u);
    EXPECT_TRUE(m_peer.waitForFinished(5000));
    EXPECT_EQ(m_peer.exitCode(), 0);
}

TEST_F(TCopyDataTest, AKilledCopyLeavesNoSocketBehind) {
    const auto peer = TzCopyDataServer::FindPrevInstance("Peer");
    ASSERT_TRUE(peer.has_value());
    m_peer.kill();
    ASSERT_TRUE(m_peer.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(peer->SocketPath));
    EXPECT_FALSE(TzCopyDataServer::FindPrevInstance("Peer").has_value());
    EXPECT_FALSE(QFile::exists(peer->SocketPath));
}

} // namespace
