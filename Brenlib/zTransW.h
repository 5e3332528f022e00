// SPDX-License-Identifier: GPL-3.0-or-later
// The reference writer: in "UpLang" mode every form created records its
// designed texts into the "Default" language file, the file translators
// start from.
//
// Not recorded (and removed when present): texts an action or a separator
// provides (a button with a default action, a menu item "-"), every text of
// a control whose text is "-", and properties listed in the exclusion files
// with a non-zero flag for the object's Qt class or any class it derives
// from. The exclusion files are "../Brenlib/Default/LangNone.ini" beside the
// program's data folder (shared by the library's programs) and
// "Default/LangNone.ini" of the program, read in that order; a 0 in the
// second cancels an exclusion of the first for the same class. Keys whose
// stored value begins with "_" keep that value.
//
// User-interface thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "zTrans.h"

class TbTransWriter final : public TbTrans {
public:
    TbTransWriter();

    // The two exclusion files, as a path each (for tests).
    static std::string SharedExclusionFile();
    static std::string ProgramExclusionFile();
    void LoadExclusions();
    bool IsExcluded(QObject* object, const TTransProp& prop) const;

    // Records the form: its class section, "<class>@Inherited" and its
    // caption in "Components".
    void UpdateTranslateInfo(QObject* component);
    // key = text, unless the stored value begins with "_"; new keys appended.
    static void AddValue(TIniValues& values, const std::string& key, const std::string& text);

private:
    // "CLASS" -> "PROPERTY" -> flag, names upper-cased.
    std::map<std::string, std::map<std::string, int>> m_exclusions;
};

// The writer of the program, made on first use.
TbTransWriter* TransWriter();

// Extra texts a form keeps for itself in the group "<class>.<name>" (see
// TranslatingGetValues): records the designed group in the reference file
// (only with UpLang) and lists it under "Components" so the editor offers it.
void SavingAddValues(QObject* form, const std::string& name, const std::vector<std::string>& list);

// Lets the translation record designed texts through the writer
// (RecordTranslateInfo); FreeTransWriter takes that back and frees the writer.
void InstallTransWriter();
void FreeTransWriter();
