// SPDX-License-Identifier: GPL-3.0-or-later
#include "zToolBar.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

void ConvertMainMenuToToolBar(QMenuBar* menu, QToolBar* toolBar) {
    if (menu == nullptr || toolBar == nullptr)
        return;
    // Buttons ordered by group index (their "tag").
    std::vector<std::pair<int, QToolButton*>> buttons;
    const auto items = menu->actions();
    for (int position = 0; position < items.size(); ++position) {
        QAction* item = items[position];
        QMenu* sub = item->menu();
        if (sub == nullptr)
            continue;
        const QVariant group = sub->property("GroupIndex");
        const int groupIndex = group.isValid() ? group.toInt() : position;
        auto it = std::find_if(buttons.begin(), buttons.end(),
                               [&](const auto& b) { return b.first >= groupIndex; });
        QToolButton* button = nullptr;
        if (it != buttons.end() && it->first == groupIndex) {
            button = it->second;
        } else {
            button = new QToolButton(toolBar);
            button->setObjectName(sub->objectName());
            sub->setObjectName(sub->objectName() + QStringLiteral("_bv"));
            button->setText(sub->title());
            button->setToolTip(item->toolTip());
            button->setPopupMode(QToolButton::InstantPopup);
            button->setToolButtonStyle(Qt::ToolButtonTextOnly);
            button->setAutoRaise(true);
            button->setMenu(new QMenu(button));
            button->setProperty("GroupIndex", groupIndex);
            it = buttons.insert(it, {groupIndex, button});
        }
        for (auto* subItem : sub->actions()) {
            sub->removeAction(subItem);
            button->menu()->addAction(subItem);
        }
        menu->removeAction(item);
    }
    for (auto* action : toolBar->actions())
        toolBar->removeAction(action);
    for (const auto& [group, button] : buttons)
        toolBar->addWidget(button);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
}
