// SPDX-License-Identifier: GPL-3.0-or-later
#include "zTrace.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <QCoreApplication>
#include <QListWidget>
#include <QThread>

#include "ui_zTrace.h"
#include "xTimer.h"
#include "zCfgDbg.h"
#include "zDebug.h"
#include "zStatus.h"

TzfmTrace* Trac = nullptr;

namespace {

constexpr std::string_view kBlanks = "           "; // 11

TTracePostBuffer g_post;
std::atomic<int> g_postMax{100};

// The status line handed to the tracer being created (GetTracInstance).
TzStatus* g_creatingStatus = nullptr;

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// --- TTracePostBuffer ---

bool TTracePostBuffer::Add(std::string text, std::size_t maxTrace) {
    const std::lock_guard lock(m_lock);
    if (m_lines.size() > maxTrace) {
        m_lines.pop_front();
        if (!m_lines.empty())
            m_lines.front() = std::string(kOverflowLine);
    }
    m_lines.push_back(std::move(text));
    const bool request = !m_drainRequested;
    m_drainRequested = true;
    return request;
}

std::vector<std::string> TTracePostBuffer::Take() {
    const std::lock_guard lock(m_lock);
    std::vector<std::string> lines(std::make_move_iterator(m_lines.begin()),
                                   std::make_move_iterator(m_lines.end()));
    m_lines.clear();
    m_drainRequested = false;
    return lines;
}

std::size_t TTracePostBuffer::Size() const {
    const std::lock_guard lock(m_lock);
    return m_lines.size();
}

// --- TzfmTrace ---

TzfmTrace::TzfmTrace(QWidget* owner) : TzfmForm(owner), m_ui(new Ui::TzfmTrace) {
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    PopupMenu()->addAction(m_ui->miClear);
    PopupMenu()->addAction(m_ui->miDisable);
    PopupMenu()->addAction(m_ui->miTracToStat);
    connect(m_ui->miClear, &QAction::triggered, this, Guarded([this] {
                m_ui->ListBox->clear();
                Clear();
            }));
    connect(m_ui->miTracToStat, &QAction::triggered, this,
            Guarded([this] { m_toStatus = m_ui->miTracToStat->isChecked(); }));
    // The check mark follows the flag each time the popup opens.
    connect(PopupMenu(), &QMenu::aboutToShow, this,
            [this] { m_ui->miTracToStat->setChecked(m_toStatus); });
}

TzfmTrace::~TzfmTrace() {
    if (Trac == this)
        Trac = nullptr;
    delete m_ui;
}

TzfmTrace* TzfmTrace::GetTracInstance(const QMetaObject& traceClass, QWidget* owner,
                                      TzStatus* status) {
    g_creatingStatus = status;
    TzfmForm* form = nullptr;
    try {
        form = CreateForm(traceClass, owner);
    } catch (...) {
        g_creatingStatus = nullptr;
        throw;
    }
    g_creatingStatus = nullptr;
    return qobject_cast<TzfmTrace*>(form);
}

void TzfmTrace::FormCreate() {
    TzfmForm::FormCreate();
    m_line.clear();
    m_enabled = true;
    m_maxTrace = 100;
    g_postMax = m_maxTrace;
    SetBindStatus(g_creatingStatus);
    Clear();
    QPointer<TzfmTrace> self(this);
    zDbg.TracerShow = [self] {
        if (self == nullptr)
            return;
        self->show();
        self->raise();
        self->activateWindow();
    };
    // Format faults are traced, from whichever thread formats.
    SetFormatFaultSink([](const std::string& message) { AddPostString(message); });
    // Lines posted while no tracer existed.
    if (g_post.Size() > 0)
        QMetaObject::invokeMethod(QCoreApplication::instance(), &TzfmTrace::DrainPost,
                                  Qt::QueuedConnection);
}

void TzfmTrace::FormDestroy() {
    zDbg.TracerShow = nullptr;
    SetFormatFaultSink({});
    SetBindStatus(nullptr);
    TzfmForm::FormDestroy();
}

void TzfmTrace::SetBindStatus(TzStatus* status) {
    if (m_status != nullptr) {
        m_status->SetProcTrac({});
        m_status->SetOnDestroy({});
    }
    m_status = status;
    if (status == nullptr)
        return;
    QPointer<TzfmTrace> self(this);
    status->SetProcTrac([self](const std::string& text) {
        if (self != nullptr)
            self->SetFromStatus(text);
    });
    status->SetOnDestroy([self] {
        if (self != nullptr)
            self->StatDestroy();
    });
}

void TzfmTrace::SetMaxTrace(int value) {
    m_maxTrace = std::clamp(value, TCfgDbg::kMinMaxTrace, TCfgDbg::kMaxMaxTrace);
    g_postMax = m_maxTrace;
}

QListWidget* TzfmTrace::ListBox() const {
    return m_ui->ListBox;
}

QStringList TzfmTrace::Lines() const {
    QStringList lines;
    for (int i = 0; i < m_ui->ListBox->count(); ++i)
        lines << m_ui->ListBox->item(i)->text();
    return lines;
}

std::uint32_t TzfmTrace::Now() const {
    return Clock ? Clock() : timeGetTime();
}

void TzfmTrace::AddString(std::string_view text) {
    m_line = std::string(kBlanks.substr(0, static_cast<std::size_t>(m_indent)));
    m_line += text;
    if (m_ui->miDisable->isChecked())
        return;
    auto* list = m_ui->ListBox;
    list->addItem(ToQ(m_line));
    list->setCurrentRow(list->count() - 1);
    if (list->count() > m_maxTrace) {
        // One batch of a fifth plus one, so trimming happens seldom.
        const int remove = m_maxTrace / 5 + 1;
        list->setUpdatesEnabled(false);
        for (int i = 0; i < remove; ++i)
            delete list->takeItem(0);
        list->setUpdatesEnabled(true);
        list->setCurrentRow(list->count() - 1);
    }
}

bool TzfmTrace::Msg(std::string_view text) {
    if (QThread::currentThread() != thread()) {
        AddPostString(std::string(text));
        return true;
    }
    if (!m_enabled)
        return true;
    AddString(text);
    if (m_toStatus && m_status != nullptr)
        m_status->MsgOut(m_line);
    return true;
}

bool TzfmTrace::Error(std::string_view text) {
    return Msg("Error: " + std::string(text));
}

bool TzfmTrace::MsgStringList(std::string_view title, const std::vector<std::string>& list) {
    if (!m_enabled)
        return true;
    Msg(title);
    // Only what was added is taken back: an indent of 9 or 10 stays.
    const int added = m_indent < 9 ? 2 : 0;
    m_indent += added;
    for (const auto& line : list)
        AddString(line);
    AddString("----end----");
    m_indent -= added;
    return true;
}

bool TzfmTrace::PushTime(std::string_view name) {
    if (m_indent < kMaxIndent)
        ++m_indent;
    m_timeStack[m_indent] = {std::string(name), Now()};
    return Msg("Working: " + std::string(name));
}

bool TzfmTrace::MsgTime(std::string_view text) {
    const std::uint32_t elapsed = Now() - m_timeStack[m_indent].Start;
    m_timeText = Format("%.2fs", elapsed / 1000.0);
    return MsgFmt("%s: %s", m_timeText, text);
}

bool TzfmTrace::PopTime(std::string_view text) {
    const std::string line =
        text.empty() ? m_timeStack[m_indent].Name + " is done." : std::string(text);
    MsgTime(line);
    if (m_indent > 0)
        --m_indent;
    return true;
}

bool TzfmTrace::MsgLastError(bool ok, std::string_view text) {
    if (ok)
        return ok;
    const int code = errno;
    char buffer[256] = {};
    const char* message = strerror_r(code, buffer, sizeof buffer);
    std::string systemText = message != nullptr ? std::string(message).substr(0, 250) : "";
    if (!systemText.empty())
        MsgFmt("%s: %s", text, systemText);
    else
        MsgFmt("%s: %d", text, code);
    return ok;
}

void TzfmTrace::AddPostString(std::string text) {
    const auto max = static_cast<std::size_t>(g_postMax.load(std::memory_order_relaxed));
    if (!g_post.Add(std::move(text), max))
        return;
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &TzfmTrace::DrainPost, Qt::QueuedConnection);
}

void TzfmTrace::DrainPost() {
    // Lines wait (bounded) until a tracer exists.
    if (Trac == nullptr)
        return;
    for (const auto& line : g_post.Take())
        Trac->Msg(line);
}

void TzfmTrace::SetFromStatus(const std::string& text) {
    AddString(text);
}

void TzfmTrace::Clear() {
    m_indent = 0;
}

void TzfmTrace::StatDestroy() {
    m_status = nullptr;
}
