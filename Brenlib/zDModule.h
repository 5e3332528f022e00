// SPDX-License-Identifier: GPL-3.0-or-later
// The data-module base TzDataModule: a non-visual container of components
// with a translatable Caption. Created through Create so that it is
// translated after construction, like a form.
//
// User-interface thread only.
#pragma once

#include <QObject>
#include <QString>

class TzDataModule : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzDataModule)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)

public:
    Q_INVOKABLE explicit TzDataModule(QObject* owner = nullptr);
    ~TzDataModule() override;

    // Constructs a module of the class, sets an empty caption to the
    // module's name and translates it.
    static TzDataModule* CreateModule(const QMetaObject& moduleClass, QObject* owner = nullptr);
    template <class T> static T* Create(QObject* owner = nullptr) {
        return static_cast<T*>(CreateModule(T::staticMetaObject, owner));
    }
    static std::vector<TzDataModule*> Modules();

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption) { m_caption = caption; }

    bool DoTranslate(bool saving);
    virtual void OnLangTranslating(bool& done, bool flag);
    virtual void OnLangSaving(bool& done);

private:
    QString m_caption;
};
