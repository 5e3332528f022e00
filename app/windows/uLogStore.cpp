// SPDX-License-Identifier: GPL-3.0-or-later
#include "uLogStore.h"

#include <QAction>
#include <QTimer>

#include "cNet0.h"
#include "uAppStr.h"
#include "xHome.h"

QPointer<TLogStore> LogStore;

namespace {

constexpr int kUpdateInterval = 250;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TLogStore::TLogStore(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("LogStore"));
    LogStore = this;
    m_update = new QTimer(this);
    m_update->setInterval(kUpdateInterval);
    connect(m_update, &QTimer::timeout, this, [this] {
        ActStoreLogUpdate();
        ActViewLogUpdate();
    });
}

TLogStore::~TLogStore() {
    m_log.CloseLog();
    if (LogStore == this)
        LogStore = nullptr;
}

std::string TLogStore::Path() const {
    return m_path.empty() ? ProgramBasePath() + ".log" : m_path;
}

void TLogStore::Attach(QAction* storeLog, QAction* viewLog) {
    m_storeLog = storeLog;
    m_viewLog = viewLog;
    for (QAction* action : {storeLog, viewLog})
        action->setCheckable(true);
    storeLog->setChecked(false);
    viewLog->setChecked(false);
    connect(storeLog, &QAction::triggered, this, &TLogStore::ActStoreLogExecute);
    connect(viewLog, &QAction::triggered, this, &TLogStore::ActViewLogExecute);
    ActStoreLogUpdate();
    ActViewLogUpdate();
    m_update->start();
}

void TLogStore::ActStoreLogUpdate() {
    if (!m_storeLog)
        return;
    const TbNBSClient* engine = NetClient.load();
    m_storeLog->setEnabled(engine != nullptr &&
                           (engine->IsSending(false) || engine->IsSending(true)));
    if (m_storeLog->isChecked() != m_log.Storing())
        m_storeLog->setChecked(m_log.Storing());
}

void TLogStore::ActViewLogUpdate() {
    if (!m_viewLog)
        return;
    m_viewLog->setEnabled(!m_log.Storing());
    if (m_viewLog->isChecked() != m_log.Viewing())
        m_viewLog->setChecked(m_log.Viewing());
}

void TLogStore::ActStoreLogExecute() {
    // The action flipped its check mark already.
    const bool on = m_storeLog ? m_storeLog->isChecked() : !m_log.Storing();
    if (on) {
        const bool wasViewing = m_log.Viewing();
        const TLogResult opened = m_log.OpenLog(Path());
        if (wasViewing)
            RefreshLogView();
        Report(opened, true);
        if (opened.Ok())
            Report(m_delayLog.Open(Path(), opened.KeptAs), false);
        if (opened.Ok() && ShowStatus) {
            const std::string path = Path();
            if (opened.KeptAs.empty())
                ShowStatus([path] { return AppText(kLineStoringTo, path); });
            else
                ShowStatus(
                    [path, kept = opened.KeptAs] { return AppText(kLineStoringKept, path, kept); });
        }
    } else {
        m_log.CloseLog();
        m_delayLog.Close();
        if (ShowStatus)
            ShowStatus([records = static_cast<std::int64_t>(m_log.RecordsWritten()),
                        path = Path()] { return AppText(kLineStored, records, path); });
    }
    ActStoreLogUpdate();
    ActViewLogUpdate();
}

void TLogStore::ActViewLogExecute() {
    const bool on = m_viewLog ? m_viewLog->isChecked() : !m_log.Viewing();
    const bool viewing = SetViewMode(on);
    if (m_viewLog)
        m_viewLog->setChecked(viewing);
    ActStoreLogUpdate();
}

bool TLogStore::SetViewMode(bool on) {
    if (m_log.Viewing() == on)
        return on;
    m_log.CloseLog();
    m_log.CloseView();
    m_delayLog.Close();
    m_viewDelays.clear();
    if (on) {
        const TLogResult loaded = m_log.LoadView(Path());
        if (m_log.Viewing())
            m_viewDelays = ReadDelayLog(Path());
        m_viewDelayLocal = StoredDelayFigures(m_viewDelays, kSideLocal);
        m_viewDelayRemote = StoredDelayFigures(m_viewDelays, kSideRemote);
        if (!m_log.Viewing())
            Report(loaded, false);
        else if (loaded.Status == lsTruncated && ShowStatus)
            ShowStatus([message = Q(loaded.Message)] { return message; });
        else if (ShowStatus)
            // Which log is shown, at a glance.
            ShowStatus(
                [path = Path(), records = static_cast<std::int64_t>(m_log.ViewRecordCount())] {
                    return AppText(kLineViewing, path, records);
                });
    }
    RefreshLogView();
    ActStoreLogUpdate();
    ActViewLogUpdate();
    return m_log.Viewing();
}

void TLogStore::RefreshLogView() {
    emit ViewChanged();
}

void TLogStore::AddSamples(char side, const std::vector<TSample>& samples) {
    for (const TSample& sample : samples) {
        const TLogResult written = m_log.WriteSample(MakeLogRecord(side, sample));
        if (!written.Ok()) {
            Report(written, written.Status == lsWriteFailed);
            break;
        }
    }
}

void TLogStore::AddDelay(char side, std::uint32_t reportTime, const TDelayFigures& figures) {
    // Storing may have ended with the samples (a restart, a failed write).
    if (!m_log.Storing()) {
        m_delayLog.Close();
        return;
    }
    if (const auto line = MakeDelayLogLine(side, reportTime, figures))
        Report(m_delayLog.Write(*line), false);
}

void TLogStore::Report(const TLogResult& result, bool box) {
    if (result.Ok())
        return;
    if (result.Status == lsEndedByRestart) {
        if (ShowStatus)
            ShowStatus([message = result.Message] { return AppText(kLineStoringEnded, message); });
        return;
    }
    if (ShowStatus)
        ShowStatus([message = Q(result.Message)] { return message; });
    // Not only counted: what keeps storing from working is shown in a box.
    if (box && ShowWarning)
        ShowWarning(Q(result.Message));
}
