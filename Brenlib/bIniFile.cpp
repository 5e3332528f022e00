// SPDX-License-Identifier: GPL-3.0-or-later
#include "bIniFile.h"

#include <algorithm>

#include "zUtils.h"

namespace {

std::string LineKey(int index) {
    return "L" + std::to_string(index);
}

void SortLines(std::vector<std::string>& lines) {
    std::stable_sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        return CompareText(a, b) < 0;
    });
}

} // namespace

TIniFileB::TIniFileB(const std::string& fileName) : TIniFile(CompleteFileName(fileName)) {}

std::string TIniFileB::CompleteFileName(const std::string& fileName) {
    auto name = TbFile::FileNameExePath(fileName);
    if (TbFile::ExtractFileName(name).find('.') == std::string::npos)
        name += ".ini";
    return name;
}

std::vector<std::string> TIniFileB::ReadSectionLines(std::string_view section) const {
    std::vector<std::string> lines;
    for (auto& [key, value] : ReadSectionValues(section))
        lines.push_back(std::move(value));
    return lines;
}

void TIniFileB::WriteSectionLines(std::string_view section, const std::vector<std::string>& lines) {
    TIniValues values;
    for (std::size_t i = 0; i < lines.size(); ++i)
        values.emplace_back(LineKey(static_cast<int>(i)), lines[i]);
    ReplaceSection(section, values);
}

std::string TIniFileB::GetSectionLine(std::string_view section, int index) const {
    return ReadString(section, LineKey(index), "");
}

void TIniFileB::SetSectionLine(std::string_view section, std::string_view value, int index) {
    WriteString(section, LineKey(index), value);
}

bool TIniFileB::AddLine(std::string_view section, std::string_view line, tSectState state) {
    auto lines = ReadSectionLines(section);
    if (state.testFlag(issUniqu) &&
        std::any_of(lines.begin(), lines.end(),
                    [&](const std::string& present) { return SameText(present, line); }))
        return false;
    lines.emplace_back(line);
    if (state.testFlag(issSort))
        SortLines(lines);
    WriteSectionLines(section, lines);
    return true;
}

void TIniFileB::SortSectionLine(std::string_view section) {
    auto lines = ReadSectionLines(section);
    SortLines(lines);
    WriteSectionLines(section, lines);
}

TSectionObjects TIniFileB::ReadSectionObject(std::string_view section) const {
    TSectionObjects list;
    for (auto& [key, value] : ReadSectionValues(section))
        list.push_back({std::move(key), StrToIntDef(value, 0)});
    return list;
}

void TIniFileB::WriteSectionObject(std::string_view section, const TSectionObjects& list) {
    TIniValues values;
    for (const auto& item : list)
        values.emplace_back(item.Name, std::to_string(item.Value));
    ReplaceSection(section, values);
}

void TIniFileB::WriteSectionValues(std::string_view section, const std::vector<std::string>& list) {
    TIniValues values;
    for (const auto& item : list)
        if (const auto equal = item.find('='); equal != std::string::npos)
            values.emplace_back(item.substr(0, equal), item.substr(equal + 1));
    ReplaceSection(section, values);
}

int TIniFileB::ReadIntegerArray(std::string_view section, std::string_view key,
                                std::int32_t* values, int count) const {
    return TStrCvt::StrToIntList(values, count, ReadString(section, key, ""));
}

void TIniFileB::WriteIntegerArray(std::string_view section, std::string_view key,
                                  const std::int32_t* values, int count) {
    WriteString(section, key, TStrCvt::IntListToStr(values, count));
}
