// SPDX-License-Identifier: GPL-3.0-or-later
// The page dialog TzfmDlg: tab pages above OK, Cancel and Help. Every
// settings dialog derives from it. Dialog classes registered with
// AddConfigDlgForm are merged, in registration order, into the general
// dialog (TzfmDlg itself, "Properties"): each registered dialog is created
// owned by it, its enabled pages move into the general PageControl, and OK
// or Cancel reaches every one of them through OnCloseDialog.
//
// A derived dialog keeps its pages in a Designer form of its own (a QWidget
// form holding a QTabWidget) and hands them over in its constructor with
// AdoptPages; the base form (zDlg.ui) holds PageControl and the buttons.
//
// The last confirmed page is stored as "ConfPage" in section "Setting": the
// page's designed caption, so that it is found again whatever language the
// captions are shown in (a caption stored in another language by an older
// copy is still matched against the current captions).
//
// User-interface thread only.
#pragma once

#include <vector>

#include <QPointer>

#include "zForm.h"

class QPushButton;
class QTabWidget;

namespace Ui {
class TzfmDlg;
}

class TzfmDlg : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmDlg)

public:
    Q_INVOKABLE explicit TzfmDlg(QWidget* owner = nullptr);
    ~TzfmDlg() override;

    // Creates the dialog (owned by no window), shows it modally and
    // destroys it, also when an error escapes; returns the modal result.
    // data is kept in Data() for the dialog's lifetime.
    static int ShowConfigDialog(const QMetaObject& dialogClass, QObject* data = nullptr);
    // Registers a page dialog class once; the first registration decides
    // its place.
    static void AddConfigDlgForm(const QMetaObject& dialogClass);
    static const std::vector<const QMetaObject*>& ConfigDlgForms();
    // Empties the registry (tests).
    static void ClearConfigDlgForms();

    bool IsMergedDialog() const;
    void DoDlgCreate();
    bool DoDlgClose();
    // Called when the dialog closes; ModalResult() tells OK from Cancel.
    // Returning false keeps the dialog open. The base returns true.
    virtual bool OnCloseDialog();

    // Moves every tab of designed (a QTabWidget of the derived dialog's own
    // form) into PageControl, keeping caption, enabled and visible states;
    // the designed caption is kept for ConfPage.
    void AdoptPages(QTabWidget* designed);

    QTabWidget* PageControl() const;
    QWidget* paButtons() const;
    QPushButton* bbOk() const;
    QPushButton* bbCancel() const;
    QPushButton* bbHelp() const;
    QObject* Data() const { return m_data; }
    bool Merged() const { return m_merged; }
    // The merged page dialogs, in creation order.
    std::vector<TzfmDlg*> ChildDialogs() const;
    // The designed caption of a page (its caption when none was kept).
    static QString DesignedCaption(QWidget* page, const QString& shown);

protected:
    void FormCreate() override;
    void FormClose(bool& accept) override;
    void keyPressEvent(QKeyEvent* event) override;
    void PageControlChange(int index);

private:
    Ui::TzfmDlg* m_ui = nullptr;
    QPointer<QObject> m_data;
    bool m_merged = false;
    std::vector<QPointer<TzfmDlg>> m_children;
};
