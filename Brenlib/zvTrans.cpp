// SPDX-License-Identifier: GPL-3.0-or-later
#include "zvTrans.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QTableWidget>

#include "bConfig.h"
#include "ui_zvTrans.h"
#include "zIniReg.h"
#include "zMsgStr.h"
#include "zUtils.h"

namespace {

QPointer<TfmTrans> g_editor;

enum : unsigned { kVDisabled = 1, kVEmpty = 2, kVNewOnly = 4, kVStatus = 8 };

struct TViewOption {
    const char* Name;
    unsigned Bit;
    QAction* Ui::TfmTrans::*Action;
};

constexpr TViewOption kViewOptions[] = {
    {"VDisabled", kVDisabled, &Ui::TfmTrans::ActVDisabled},
    {"VEmpty", kVEmpty, &Ui::TfmTrans::ActVEmpty},
    {"VNewOnly", kVNewOnly, &Ui::TfmTrans::ActVNewOnly},
    {"VStatus", kVStatus, &Ui::TfmTrans::ActVStatus},
};

TRegistryB LangEditKey() {
    return TRegistryB(TRegistryB::TRoot::CurrentUser, "Brenvik", "", "LangEdit");
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

const std::string* Find(const TIniValues& values, const std::string& key) {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const auto& kv) { return SameText(kv.first, key); });
    return it == values.end() ? nullptr : &it->second;
}

void Set(TIniValues& values, const std::string& key, const std::string& value) {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const auto& kv) { return SameText(kv.first, key); });
    if (it == values.end())
        values.emplace_back(key, value);
    else
        it->second = value;
}

std::vector<std::string> Pieces(const std::string& value) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const auto tilde = value.find('~', start);
        pieces.push_back(value.substr(start, tilde - start));
        if (tilde == std::string::npos)
            return pieces;
        start = tilde + 1;
    }
}

std::string Join(const std::vector<std::string>& pieces) {
    std::string value;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        value += (i == 0 ? "" : "~") + pieces[i];
    return value;
}

std::string ToggleMark(const std::string& text) {
    return text.starts_with('_') ? text.substr(1) : "_" + text;
}

// The boxes of the message strings (which tests replace), else Qt's own.
int Box(const std::string& text, const std::string& caption, unsigned flags) {
    return TbMsgStr::ShowBox ? TbMsgStr::ShowBox(text, caption, flags)
                             : ShowMessageBoxQt(text, caption, flags);
}

// The open forms of a class.
std::vector<TzfmForm*> FormsOf(const std::string& section) {
    std::vector<TzfmForm*> forms;
    for (TzfmForm* form : TzfmForm::Forms())
        if (section == form->metaObject()->className())
            forms.push_back(form);
    return forms;
}

} // namespace

TfmTrans::TfmTrans(QWidget* owner) : TzfmForm(owner), m_ui(std::make_unique<Ui::TfmTrans>()) {
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    // A developer's window beside the main one: it never keeps the program
    // running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    m_ui->bbTransRelated->setDefaultAction(m_ui->ActTransRelated);
    auto* grid = m_ui->sgTrans;
    grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
    grid->setColumnWidth(0, 180);
    grid->setColumnWidth(1, 200);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 8);
    grid->addActions({m_ui->ActDisTrans, m_ui->ActVNewOnly, m_ui->ActVDisabled, m_ui->ActVEmpty,
                      m_ui->ActVStatus});
}

TfmTrans::~TfmTrans() {
    if (LangDef != nullptr && m_notifyId != 0)
        LangDef->RemoveNotify(m_notifyId);
}

void TfmTrans::FormCreate() {
    TzfmForm::FormCreate();
    if (CfgPar.UpLang)
        setWindowTitle(windowTitle() + QStringLiteral(" [+]"));
    m_transFile = std::make_unique<TbTrans>();
    m_origFile = std::make_unique<TbTrans>(lomForceDefault);

    const TRegistryB key = LangEditKey();
    m_filling = true;
    for (const auto& option : kViewOptions)
        (m_ui.get()->*option.Action)->setChecked(key.ReadBool("", option.Name, false));
    m_filling = false;
    m_ui->paStatus->setVisible(m_ui->ActVStatus->isChecked());

    connect(m_ui->ActSave, &QAction::triggered, this, &TfmTrans::SaveTrans);
    connect(m_ui->ActApply, &QAction::triggered, this, &TfmTrans::Apply);
    connect(m_ui->tbCancel, &QAction::triggered, this, &TfmTrans::Discard);
    connect(m_ui->ActDisTrans, &QAction::triggered, this, &TfmTrans::DisableTranslate);
    connect(m_ui->ActTransRelated, &QAction::triggered, this, &TfmTrans::TransRelated);
    for (const auto& option : kViewOptions) {
        QAction* action = m_ui.get()->*option.Action;
        const unsigned bit = option.Bit;
        connect(action, &QAction::toggled, this, [this, bit] {
            m_toggled |= bit;
            ToggleView();
        });
    }
    connect(m_ui->comboForms, &QComboBox::activated, this, &TfmTrans::ChooseSection);
    connect(m_ui->ComboLang, &QComboBox::activated, this, &TfmTrans::ChooseLanguage);
    connect(m_ui->sgTrans, &QTableWidget::cellChanged, this, &TfmTrans::OnCellChanged);
    connect(m_ui->sgTrans, &QTableWidget::currentCellChanged, this, &TfmTrans::ShowRow);
    connect(m_ui->edValue, &QLineEdit::editingFinished, this, &TfmTrans::CommitEdit);

    if (LangDef != nullptr)
        m_notifyId = LangDef->AddNotify(
            [this](const std::string& language) { OnLanguageChanged(language); });
    LoadLanguages();
    LoadSections();
    if (m_ui->comboForms->count() > 0)
        ChooseSection(0);
    UpdateActions();
}

void TfmTrans::FormDestroy() {
    TRegistryB key = LangEditKey();
    for (const auto& option : kViewOptions)
        if ((m_toggled & option.Bit) != 0)
            key.WriteBool("", option.Name, (m_ui.get()->*option.Action)->isChecked());
    TzfmForm::FormDestroy();
}

void TfmTrans::FormClose(bool& accept) {
    accept = AskUnsaved();
}

bool TfmTrans::AskUnsaved() {
    CommitEdit();
    if (!Modified())
        return true;
    const std::string text = MsgStr != nullptr ? MsgStr->GetLineFmt("Quests", 2, m_section)
                                               : "Save the changes of " + m_section + "?";
    const int button = Box(text, "Confirm", mbYesNoCancel | mbIconQuestion);
    switch (AskResultOf(button)) {
    case arYes:
        return SaveTrans();
    case arNo:
        Discard();
        return true;
    default:
        return false;
    }
}

void TfmTrans::LoadLanguages() {
    m_filling = true;
    m_ui->ComboLang->clear();
    if (LangDef != nullptr) {
        for (const auto& entry : LangDef->Languages())
            m_ui->ComboLang->addItem(Q(entry.Name));
        m_ui->ComboLang->setCurrentIndex(LangDef->ItemIndex());
    }
    m_filling = false;
}

void TfmTrans::LoadSections() {
    const QString current = m_ui->comboForms->currentData().toString();
    m_filling = true;
    m_ui->comboForms->clear();
    for (const auto& [section, caption] : m_origFile->File().ReadValues("Components"))
        m_ui->comboForms->addItem(Q(section + "  (" + caption + ")"), Q(section));
    const int at = m_ui->comboForms->findData(current);
    if (at >= 0)
        m_ui->comboForms->setCurrentIndex(at);
    m_filling = false;
}

bool TfmTrans::SelectSection(const std::string& section) {
    LoadSections();
    const int at = m_ui->comboForms->findData(Q(section));
    if (at < 0)
        return false;
    if (section == m_section)
        return true;
    if (!AskUnsaved()) {
        m_ui->comboForms->setCurrentIndex(m_ui->comboForms->findData(Q(m_section)));
        return false;
    }
    m_ui->comboForms->setCurrentIndex(at);
    m_section = section;
    LoadSection();
    return true;
}

void TfmTrans::ChooseSection(int index) {
    const std::string section = m_ui->comboForms->itemData(index).toString().toStdString();
    if (m_section.empty()) {
        m_section = section;
        LoadSection();
    } else {
        SelectSection(section);
    }
}

void TfmTrans::LoadSection() {
    m_trans = m_transFile->FileExisted() && LangDef != nullptr && LangDef->ItemIndex() != 0
                  ? m_transFile->File().ReadValues(m_section)
                  : TIniValues{};
    m_orig = m_origFile->File().ReadValues(m_section);
    m_modifiedTrans = m_modifiedOrig = false;
    QString raw;
    for (const auto& [key, value] : m_trans)
        raw += Q(key + "=" + value) + u'\n';
    m_ui->meStrings->setPlainText(raw);
    BuildGrid();
    FillRelated();
    UpdateActions();
}

void TfmTrans::BuildGrid() {
    m_rows.clear();
    const bool vDisabled = m_ui->ActVDisabled->isChecked();
    const bool vEmpty = m_ui->ActVEmpty->isChecked();
    const bool vNewOnly = m_ui->ActVNewOnly->isChecked();
    std::vector<std::string> keys;
    for (const auto& kv : m_orig)
        keys.push_back(kv.first);
    for (const auto& kv : m_trans)
        if (Find(m_orig, kv.first) == nullptr)
            keys.push_back(kv.first);
    for (const auto& key : keys) {
        const std::string* origin = Find(m_orig, key);
        const std::string* trans = Find(m_trans, key);
        const std::string o = origin != nullptr ? *origin : std::string{};
        if (o.empty() && (trans == nullptr || trans->empty()) && !vEmpty)
            continue;
        if ((o.starts_with('_') || o.starts_with('-')) && !vDisabled)
            continue;
        if (vNewOnly && trans != nullptr)
            continue;
        const auto pieces = Pieces(o);
        if (pieces.size() == 1 && (trans == nullptr || trans->find('~') == std::string::npos)) {
            m_rows.push_back({key, -1});
        } else {
            const std::size_t n = std::max(pieces.size(), trans ? Pieces(*trans).size() : 0);
            for (std::size_t i = 0; i < n; ++i)
                m_rows.push_back({key, static_cast<int>(i)});
        }
    }
    m_filling = true;
    auto* grid = m_ui->sgTrans;
    grid->clearContents();
    grid->setRowCount(static_cast<int>(m_rows.size()));
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        const auto& row = m_rows[r];
        const std::string* origin = Find(m_orig, row.Key);
        const std::string* trans = Find(m_trans, row.Key);
        const auto piece = [&row](const std::string* value) -> std::string {
            if (value == nullptr)
                return {};
            if (row.Piece < 0)
                return *value;
            const auto pieces = Pieces(*value);
            return static_cast<std::size_t>(row.Piece) < pieces.size()
                       ? pieces[static_cast<std::size_t>(row.Piece)]
                       : std::string{};
        };
        const QString name =
            Q(row.Key) + (row.Piece < 0 ? QString() : QStringLiteral("[%1]").arg(row.Piece));
        auto* object = new QTableWidgetItem(name);
        object->setFlags(object->flags() & ~Qt::ItemIsEditable);
        auto* originItem = new QTableWidgetItem(Q(piece(origin)));
        originItem->setFlags(originItem->flags() & ~Qt::ItemIsEditable);
        // A key without a translation shows its origin, in italics.
        auto* transItem = new QTableWidgetItem(Q(trans != nullptr ? piece(trans) : piece(origin)));
        if (trans == nullptr) {
            QFont font = transItem->font();
            font.setItalic(true);
            transItem->setFont(font);
        }
        const int at = static_cast<int>(r);
        grid->setItem(at, 0, object);
        grid->setItem(at, 1, originItem);
        grid->setItem(at, 2, transItem);
    }
    m_filling = false;
    ShowRow();
}

void TfmTrans::SetTranslation(int row, const QString& text) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    m_ui->sgTrans->item(row, 2)->setText(text); // through OnCellChanged
}

void TfmTrans::OnCellChanged(int row, int column) {
    if (m_filling || column != 2 || row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    const auto& entry = m_rows[static_cast<std::size_t>(row)];
    const std::string text = m_ui->sgTrans->item(row, 2)->text().toStdString();
    std::string value = text;
    if (entry.Piece >= 0) {
        const std::string* trans = Find(m_trans, entry.Key);
        const std::string* origin = Find(m_orig, entry.Key);
        auto pieces = Pieces(trans != nullptr ? *trans : origin != nullptr ? *origin : "");
        if (pieces.size() <= static_cast<std::size_t>(entry.Piece))
            pieces.resize(static_cast<std::size_t>(entry.Piece) + 1);
        pieces[static_cast<std::size_t>(entry.Piece)] = text;
        value = Join(pieces);
    }
    const std::string* old = Find(m_trans, entry.Key);
    if (old != nullptr && *old == value)
        return;
    Set(m_trans, entry.Key, value);
    m_modifiedTrans = true;
    QFont font = m_ui->sgTrans->item(row, 2)->font();
    font.setItalic(false);
    m_filling = true;
    m_ui->sgTrans->item(row, 2)->setFont(font);
    m_filling = false;
    ShowRow();
    UpdateActions();
}

void TfmTrans::ShowRow() {
    const int row = m_ui->sgTrans->currentRow();
    const bool valid = row >= 0 && row < m_ui->sgTrans->rowCount();
    m_ui->stOrigin->setText(valid ? m_ui->sgTrans->item(row, 1)->text() : QString());
    m_ui->edValue->setText(valid ? m_ui->sgTrans->item(row, 2)->text() : QString());
    m_ui->edValue->setEnabled(valid);
}

void TfmTrans::CommitEdit() {
    const int row = m_ui->sgTrans->currentRow();
    if (row >= 0 && row < m_ui->sgTrans->rowCount() && m_ui->edValue->isModified()) {
        m_ui->edValue->setModified(false);
        SetTranslation(row, m_ui->edValue->text());
    }
}

void TfmTrans::UpdateActions() {
    m_ui->ActSave->setEnabled(Modified());
    m_ui->tbCancel->setEnabled(Modified());
    const bool selected = LangDef != nullptr && LangDef->ItemIndex() != 0;
    m_ui->ActApply->setEnabled(selected && !m_section.empty());
    m_ui->sgTrans->setEditTriggers(selected ? QAbstractItemView::DoubleClicked |
                                                  QAbstractItemView::EditKeyPressed |
                                                  QAbstractItemView::AnyKeyPressed
                                            : QAbstractItemView::NoEditTriggers);
}

std::string TfmTrans::CaptionKey() const {
    // The form's own caption key, from an open form of the class; the class
    // name says nothing reliable about the form's object name.
    const auto forms = FormsOf(m_section);
    return forms.empty() ? std::string{} : forms.front()->objectName().toStdString() + ".Caption";
}

bool TfmTrans::SaveTrans() {
    CommitEdit();
    try {
        if (m_modifiedTrans)
            m_transFile->SaveValues(m_section, m_trans, true, CaptionKey());
        if (m_modifiedOrig)
            m_origFile->SaveValues(m_section, m_orig, true);
    } catch (const std::exception& error) {
        std::string file =
            m_modifiedTrans ? m_transFile->File().FileName() : m_origFile->File().FileName();
        const std::string text =
            MsgStr != nullptr ? MsgStr->GetErrorFmt_Strings(2, file) : "Unable to write to " + file;
        Box(text, "Language Editor", mbOK | mbIconStop);
        return false;
    }
    m_modifiedTrans = m_modifiedOrig = false;
    UpdateActions();
    return true;
}

void TfmTrans::Apply() {
    CommitEdit();
    for (TzfmForm* form : FormsOf(m_section))
        ApplySection(form, m_trans);
}

void TfmTrans::Discard() {
    const bool applied = m_modifiedTrans;
    LoadSection();
    if (applied && LangDef != nullptr)
        LangDef->DoApplyLanguage(m_section);
}

void TfmTrans::ChooseLanguage(int index) {
    if (m_filling || LangDef == nullptr)
        return;
    if (!AskUnsaved()) {
        LoadLanguages();
        return;
    }
    const auto& languages = LangDef->Languages();
    if (index < 0 || index >= static_cast<int>(languages.size()))
        return;
    // Through "<None>" first, so every window is translated again even when
    // the same language is chosen.
    if (LangDef->ItemIndex() != 0)
        LangDef->SetLanguage(TbLangDef::kNone);
    LangDef->SetLanguage(languages[static_cast<std::size_t>(index)].Name);
}

void TfmTrans::OnLanguageChanged(const std::string&) {
    LoadLanguages();
    m_transFile->OpenHintFile({});
    if (!m_section.empty())
        LoadSection();
}

void TfmTrans::DisableTranslate() {
    const int row = m_ui->sgTrans->currentRow();
    if (row < 0 || row >= static_cast<int>(m_rows.size()) ||
        m_rows[static_cast<std::size_t>(row)].Piece >= 0 ||
        Find(m_orig, m_rows[static_cast<std::size_t>(row)].Key) == nullptr) {
        QApplication::beep();
        return;
    }
    const std::string key = m_rows[static_cast<std::size_t>(row)].Key;
    const std::string origin = *Find(m_orig, key);
    if (const std::string* trans = Find(m_trans, key); trans != nullptr && *trans == origin) {
        Set(m_trans, key, ToggleMark(origin));
        m_modifiedTrans = true;
    }
    Set(m_orig, key, ToggleMark(origin));
    m_modifiedOrig = true;
    BuildGrid();
    UpdateActions();
}

void TfmTrans::FillRelated() {
    m_ui->clbRelated->clear();
    const auto mine = m_origFile->GetInheritedStrings(m_section);
    for (const auto& [section, caption] : m_origFile->File().ReadValues("Components")) {
        if (SameText(section, m_section))
            continue;
        const auto theirs = m_origFile->GetInheritedStrings(section);
        const bool related = std::any_of(mine.begin(), mine.end(), [&](const std::string& a) {
            return std::any_of(theirs.begin(), theirs.end(),
                               [&](const std::string& b) { return SameText(a, b); });
        });
        if (!related)
            continue;
        auto* item = new QListWidgetItem(Q(section), m_ui->clbRelated);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

// Copies each translation to the same key of a checked section, where that
// section's origin is the same text: a key of another form with another
// designed text is not this translation's.
void TfmTrans::TransRelated() {
    CommitEdit();
    try {
        for (int i = 0; i < m_ui->clbRelated->count(); ++i) {
            const auto* item = m_ui->clbRelated->item(i);
            if (item->checkState() != Qt::Checked)
                continue;
            const std::string section = item->text().toStdString();
            const TIniValues origin = m_origFile->File().ReadValues(section);
            TIniValues trans = m_transFile->File().ReadValues(section);
            for (const auto& [key, value] : m_trans) {
                const std::string* theirs = Find(origin, key);
                const std::string* mine = Find(m_orig, key);
                if (theirs != nullptr && mine != nullptr && *theirs == *mine)
                    Set(trans, key, value);
            }
            m_transFile->SaveValues(section, trans, true);
        }
    } catch (const std::exception& error) {
        Box(error.what(), "Language Editor", mbOK | mbIconStop);
    }
}

void TfmTrans::ToggleView() {
    if (m_filling)
        return;
    m_ui->paStatus->setVisible(m_ui->ActVStatus->isChecked());
    CommitEdit();
    BuildGrid();
}

TfmTrans* ShowTransEditor(QWidget* form) {
    if (g_editor.isNull()) {
        g_editor = TzfmForm::Create<TfmTrans>(nullptr);
        g_editor->show();
    }
    if (form != nullptr)
        g_editor->SelectSection(form->metaObject()->className());
    g_editor->raise();
    g_editor->activateWindow();
    return g_editor;
}

TfmTrans* TransEditor() {
    return g_editor;
}
