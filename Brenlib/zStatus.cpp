// SPDX-License-Identifier: GPL-3.0-or-later
#include "zStatus.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

#include "zCfgDbg.h"
#include "zForm.h"

TzStatus* Stat = nullptr;

namespace {

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// --- TzStatusBar ---

TzStatusBar::TzStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(true);
}

namespace {
// The name a panel was added with: its text may be translated or replaced.
constexpr const char* kPanelName = "_rv_panelName";
} // namespace

QLabel* TzStatusBar::AddPanel(const QString& text, int width, int stretch) {
    auto* panel = new QLabel(text, this);
    panel->setProperty(kPanelName, text);
    panel->setObjectName(QStringLiteral("Panel%1").arg(m_panels.size()));
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setContentsMargins(3, 0, 3, 0);
    if (width >= 0)
        panel->setFixedWidth(width);
    else if (stretch > 0)
        panel->setMinimumWidth(40);
    addPermanentWidget(panel, stretch);
    m_panels.push_back(panel);
    return panel;
}

void TzStatusBar::mouseDoubleClickEvent(QMouseEvent* event) {
    QStatusBar::mouseDoubleClickEvent(event);
    emit DblClick();
}

void TzStatusBar::contextMenuEvent(QContextMenuEvent* event) {
    if (m_popup == nullptr) {
        QStatusBar::contextMenuEvent(event);
        return;
    }
    m_popup->popup(event->globalPos());
    event->accept();
}

// --- TzStatus ---

TzStatus::TzStatus(TzfmForm* owner, TzStatusBar* statusBar)
    : QObject(owner), m_owner(owner), m_statusBar(statusBar) {
    setObjectName(QStringLiteral("Stat"));
    m_panel = GetStatusPanel("StatMsg");
    m_panel->clear();
}

TzStatus::~TzStatus() {
    if (Stat == this)
        Stat = nullptr;
    if (m_onDestroy) {
        try {
            m_onDestroy();
        } catch (...) {
            HandleCurrentException();
        }
    }
}

QLabel* TzStatus::GetStatusPanel(std::string_view name) const {
    if (m_statusBar != nullptr) {
        const auto text = ToQ(name);
        for (auto* panel : m_statusBar->Panels())
            if (panel->property(kPanelName).toString() == text)
                return panel;
    }
    throw EzForm(IDS_zfNotFound, "TzStatus", "GetStatusPanel", std::string(name));
}

void TzStatus::Msg(std::string_view text) {
    if (CfgDbg.StatToTr && m_procTrac)
        m_procTrac(std::string(text));
    MsgOut(text);
}

void TzStatus::MsgOut(std::string_view text) {
    m_current = text;
    DoMsgOut(text);
}

void TzStatus::DoMsgOut(std::string_view text) {
    if (m_panel == nullptr)
        return;
    m_panel->setText(ToQ(text.empty() ? std::string_view(m_current) : text));
    m_panel->repaint();
}

void TzStatus::MsgHint(std::string_view text) {
    if (!m_hintsOff)
        DoMsgOut(text);
}

QAction* TzStatus::AddPopUpMenuItem(const QString& caption, std::function<void()> onClick) {
    return m_owner != nullptr ? m_owner->AddPopUpMenuItem(caption, std::move(onClick)) : nullptr;
}
