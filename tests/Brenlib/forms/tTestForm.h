// SPDX-License-Identifier: GPL-3.0-or-later
// Test-only forms: they record the order of the form base's steps and carry
// one persistent property, a button whose slot throws and a key handler
// that throws.
#pragma once

#include <string>
#include <vector>

#include "zDlg.h"
#include "zForm.h"

namespace Ui {
class TfmTestForm;
}
class QPushButton;

class TfmTestForm : public TzfmForm {
    Q_OBJECT
    Q_PROPERTY(int Counter READ Counter WRITE SetCounter)

public:
    Q_INVOKABLE explicit TfmTestForm(QWidget* owner = nullptr);
    ~TfmTestForm() override;

    static inline std::vector<std::string> Log;

    int Counter() const { return m_counter; }
    void SetCounter(int value) { m_counter = value; }
    QPushButton* bbThrow() const;

    void OnStart() override;
    void OnReadLayout(tPropMode modes) override;
    void OnSaveLayout(tPropMode modes) override;

protected:
    void FormCreate() override;
    void FormDestroy() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::TfmTestForm* m_ui = nullptr;
    int m_counter = 0;
};

// A derived form: its layout goes to its own class's section.
class TfmTestChild : public TfmTestForm {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TfmTestChild(QWidget* owner = nullptr) : TfmTestForm(owner) {
        setObjectName(QStringLiteral("fmTestChild"));
    }
};

// A page dialog whose pages and close answer a test sets; it records
// OnCloseDialog calls in Log.
class TfmTestDlgBase : public TzfmDlg {
    Q_OBJECT

public:
    explicit TfmTestDlgBase(QWidget* owner, const QStringList& captions);
    bool OnCloseDialog() override;

    static inline std::vector<std::string> Log;
    // Class names whose OnCloseDialog answers false.
    static inline std::vector<std::string> Refuse;
    // Captions of pages to disable or hide in the designed form.
    static inline QStringList Disabled;
    static inline QStringList Hidden;
};

class TfmTestDlgA : public TfmTestDlgBase {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TfmTestDlgA(QWidget* owner = nullptr)
        : TfmTestDlgBase(owner, {QStringLiteral("Alpha"), QStringLiteral("Beta")}) {}
};

class TfmTestDlgB : public TfmTestDlgBase {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TfmTestDlgB(QWidget* owner = nullptr)
        : TfmTestDlgBase(owner, {QStringLiteral("Gamma")}) {}
};

class TfmTestDlgC : public TfmTestDlgBase {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TfmTestDlgC(QWidget* owner = nullptr)
        : TfmTestDlgBase(owner, {QStringLiteral("Delta")}) {}
};
