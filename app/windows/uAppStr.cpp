// SPDX-License-Identifier: GPL-3.0-or-later
#include "uAppStr.h"

#include <string>

#include "zMsgStr.h"

QString AppTextList(const TAppLine& line, std::span<const TFmtArg> args) {
    const std::string key = "L" + std::to_string(line.N);
    const std::string text =
        MsgApp != nullptr ? MsgApp->GetValue(line.Section, key, line.English) : line.English;
    return QString::fromStdString(FormatStr(text, args));
}
