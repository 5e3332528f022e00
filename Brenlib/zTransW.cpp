// SPDX-License-Identifier: GPL-3.0-or-later
#include "zTransW.h"

#include <algorithm>
#include <memory>

#include <QAbstractButton>
#include <QAction>
#include <QMetaObject>
#include <QToolButton>

#include "bConfig.h"
#include "zUtils.h"

namespace {

// Texts that an action or a separator provides are not the control's own.
bool ProvidedByAction(QObject* object, const TTransProp& prop) {
    const std::string_view design = prop.Row->Design;
    if (design != "Caption" && design != "Hint")
        return false;
    if (auto* button = qobject_cast<QToolButton*>(object); button && button->defaultAction())
        return true;
    if (auto* action = qobject_cast<QAction*>(object); action && action->isSeparator())
        return true;
    return false;
}

bool IsDash(QObject* object) {
    for (const TPropRow* row : PropRowsOf(object, nullptr))
        if (std::string_view(row->Design) == "Caption" && GetPropText(object, *row) == "-")
            return true;
    return false;
}

std::unique_ptr<TbTransWriter> g_writer;

} // namespace

TbTransWriter::TbTransWriter() : TbTrans(lomForceDefault) {
    LoadExclusions();
}

std::string TbTransWriter::SharedExclusionFile() {
    return NativeSeparators(TbLangDef::LangFolder() + "/..\\Brenlib\\Default\\LangNone.ini");
}

std::string TbTransWriter::ProgramExclusionFile() {
    return TbLangDef::LangFolder() + "/" + TbLangDef::kDefaultFolder + "/LangNone.ini";
}

void TbTransWriter::LoadExclusions() {
    m_exclusions.clear();
    for (const std::string& name : {SharedExclusionFile(), ProgramExclusionFile()}) {
        const TbLangFile file(name, 0);
        for (const std::string& section : file.ReadSections())
            for (const auto& [key, value] : file.ReadValues(section))
                m_exclusions[UpperCase(section)][UpperCase(key)] = StrToIntDef(value, 0);
    }
}

bool TbTransWriter::IsExcluded(QObject* object, const TTransProp& prop) const {
    if (ProvidedByAction(object, prop) || IsDash(object))
        return true;
    // The nearest class with an entry decides, so a program can cancel for
    // a derived class what the shared file excludes for its base.
    const std::string design = UpperCase(prop.Row->Design);
    for (const QMetaObject* meta = object->metaObject(); meta != nullptr;
         meta = meta->superClass()) {
        const auto cls = m_exclusions.find(UpperCase(meta->className()));
        if (cls == m_exclusions.end())
            continue;
        if (const auto flag = cls->second.find(design); flag != cls->second.end())
            return flag->second != 0;
    }
    return false;
}

void TbTransWriter::AddValue(TIniValues& values, const std::string& key, const std::string& text) {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const auto& kv) { return SameText(kv.first, key); });
    if (it == values.end())
        values.emplace_back(key, text);
    else if (!it->second.starts_with('_'))
        it->second = text;
}

void TbTransWriter::UpdateTranslateInfo(QObject* component) {
    const std::string section = component->metaObject()->className();
    TIniValues values = File().ReadValues(section);
    std::string caption;
    for (const auto& prop : TranslatableProperties(component)) {
        if (IsExcluded(prop.Object, prop)) {
            std::erase_if(values, [&](const auto& kv) { return SameText(kv.first, prop.Key); });
            continue;
        }
        const std::string text = DesignedText(prop.Object, *prop.Row);
        AddValue(values, prop.Key, text);
        if (prop.Object == component && std::string_view(prop.Row->Design) == "Caption")
            caption = text;
    }
    SaveValues(section, std::move(values), true);

    const std::string inherited = GetInheritedSection(section);
    const auto ancestors = LangDef != nullptr ? LangDef->AncestorNames(component->metaObject())
                                              : std::vector<std::string>{};
    if (ancestors.empty())
        File().Erase(inherited);
    else
        File().WriteLines(inherited, ancestors);

    if (caption.empty())
        caption = component->objectName().toStdString();
    File().WriteString("Components", section, caption);
}

TbTransWriter* TransWriter() {
    if (!g_writer)
        g_writer = std::make_unique<TbTransWriter>();
    return g_writer.get();
}

void SavingAddValues(QObject* form, const std::string& name, const std::vector<std::string>& list) {
    if (!CfgPar.UpLang)
        return;
    const std::string section = std::string(form->metaObject()->className()) + "." + name;
    TbTransWriter* writer = TransWriter();
    TIniValues values = writer->File().ReadValues(section);
    for (const std::string& line : list)
        if (const auto equal = line.find('='); equal != std::string::npos && equal > 0)
            TbTransWriter::AddValue(values, line.substr(0, equal), line.substr(equal + 1));
    writer->SaveValues(section, std::move(values), true);
    writer->File().WriteString("Components", section, name);
}

void InstallTransWriter() {
    RecordTranslateInfo = [](QObject* component) { TransWriter()->UpdateTranslateInfo(component); };
}

void FreeTransWriter() {
    RecordTranslateInfo = {};
    g_writer.reset();
}
