// SPDX-License-Identifier: GPL-3.0-or-later
// The language editor TfmTrans: one section (form class) of the language
// files at a time, as a grid of Object / Origin ("Default" file) /
// Translation (selected language's file). Edits stay in the editor until
// Save; Apply shows them in the open windows of that class at once; Cancel
// discards them. Leaving unsaved edits (closing, another section, another
// language) asks Save / Discard / Cancel first; a save that fails keeps the
// edits and reports "Unable to write to <file>".
//
// At most one editor exists (ShowTransEditor); it stays on top and is freed
// when closed. Its view options live in the per-user registry key
// \Software\Brenvik\LangEdit ("VDisabled", "VEmpty", "VNewOnly", "VStatus").
//
// User-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QPointer>

#include "zForm.h"
#include "zTrans.h"

namespace Ui {
class TfmTrans;
}

class TfmTrans final : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmTrans)

public:
    Q_INVOKABLE explicit TfmTrans(QWidget* owner = nullptr);
    ~TfmTrans() override;

    // The section shown (a form's class name).
    std::string Section() const { return m_section; }
    // Selects the section (asking about unsaved edits first); false when the
    // user cancelled or the section is not recorded.
    bool SelectSection(const std::string& section);
    bool Modified() const { return m_modifiedTrans || m_modifiedOrig; }
    // Writes the translation section and, when origins changed, the origin
    // section. On failure reports it, keeps the edits and returns false.
    bool SaveTrans();
    // Sets the translation of a grid row (as an edit in place does).
    void SetTranslation(int row, const QString& text);
    // The translations and origins of the section as edited.
    const TIniValues& TransValues() const { return m_trans; }
    const TIniValues& OrigValues() const { return m_orig; }

    Ui::TfmTrans* ui() const { return m_ui.get(); }

protected:
    void FormCreate() override;
    void FormDestroy() override;
    void FormClose(bool& accept) override;

private:
    struct TRow {
        std::string Key;
        int Piece = -1; // index in a "~" list, -1 for a plain key
    };

    // Save / Discard / Cancel; true when the caller may go on.
    bool AskUnsaved();
    void LoadSections();
    void LoadLanguages();
    void LoadSection();
    void BuildGrid();
    void FillRelated();
    void UpdateActions();
    void ShowRow();
    void CommitEdit();
    void OnCellChanged(int row, int column);
    void OnLanguageChanged(const std::string& language);
    void Apply();
    void Discard();
    void ChooseLanguage(int index);
    void ChooseSection(int index);
    void DisableTranslate();
    void TransRelated();
    void ToggleView();
    std::string CaptionKey() const;

    std::unique_ptr<Ui::TfmTrans> m_ui;
    std::unique_ptr<TbTrans> m_transFile;
    std::unique_ptr<TbTrans> m_origFile;
    std::string m_section;
    TIniValues m_trans;
    TIniValues m_orig;
    std::vector<TRow> m_rows;
    bool m_modifiedTrans = false;
    bool m_modifiedOrig = false;
    bool m_filling = false;
    int m_notifyId = 0;
    unsigned m_toggled = 0; // view options the user changed
};

// Opens the editor for the form's section, or brings the open one to it.
TfmTrans* ShowTransEditor(QWidget* form);
// The open editor, if any.
TfmTrans* TransEditor();
