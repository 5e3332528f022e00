// SPDX-License-Identifier: GPL-3.0-or-later
#include "zMainMDI.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

TzfmMainMDI::TzfmMainMDI(QWidget* owner) : TzfmMain(owner) {
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("MdiArea"));
    setCentralWidget(m_mdiArea);
    m_mmWindow = new QMenu(QStringLiteral("&Window"), this);
    m_mmWindow->setObjectName(QStringLiteral("mmWindow"));
    m_mmWindow->setProperty("GroupIndex", 8);
    MainMenu()->insertMenu(mmHelp()->menuAction(), m_mmWindow);
    auto* tile = AddMenuItem(m_mmWindow, QStringLiteral("&Tile"), [this] { mmTileClick(); });
    tile->setObjectName(QStringLiteral("mmTile"));
    auto* cascade =
        AddMenuItem(m_mmWindow, QStringLiteral("&Cascade"), [this] { mmCascadeClick(); });
    cascade->setObjectName(QStringLiteral("mmCascade"));
    auto* arrange =
        AddMenuItem(m_mmWindow, QStringLiteral("&Arrange"), [this] { mmArrangeClick(); });
    arrange->setObjectName(QStringLiteral("mmArrange"));
    m_listSeparator = m_mmWindow->addSeparator();
    connect(m_mmWindow, &QMenu::aboutToShow, this, Guarded([this] { FillWindowList(); }));
}

QMdiSubWindow* TzfmMainMDI::AddChild(TzfmForm* form) {
    QMdiSubWindow* sub = m_mdiArea->addSubWindow(form);
    form->show();
    return sub;
}

void TzfmMainMDI::mmTileClick() {
    m_mdiArea->tileSubWindows();
}

void TzfmMainMDI::mmCascadeClick() {
    m_mdiArea->cascadeSubWindows();
}

void TzfmMainMDI::mmArrangeClick() {
    int x = 0;
    const int bottom = m_mdiArea->viewport()->height();
    for (auto* sub : m_mdiArea->subWindowList()) {
        if (!sub->isMinimized())
            continue;
        const QSize size = sub->size();
        sub->move(x, bottom - size.height());
        x += size.width();
    }
}

void TzfmMainMDI::FillWindowList() {
    const auto actions = m_mmWindow->actions();
    const auto start = actions.indexOf(m_listSeparator);
    for (auto i = start + 1; i < actions.size(); ++i) {
        m_mmWindow->removeAction(actions[i]);
        delete actions[i];
    }
    const auto windows = m_mdiArea->subWindowList();
    m_listSeparator->setVisible(!windows.isEmpty());
    int number = 1;
    for (auto* sub : windows) {
        auto* item =
            m_mmWindow->addAction(QStringLiteral("&%1 %2").arg(number++).arg(sub->windowTitle()));
        item->setCheckable(true);
        item->setChecked(sub == m_mdiArea->activeSubWindow());
        QMdiArea* area = m_mdiArea;
        QPointer<QMdiSubWindow> target(sub);
        connect(item, &QAction::triggered, area, [area, target] {
            if (target != nullptr)
                area->setActiveSubWindow(target);
        });
    }
}
