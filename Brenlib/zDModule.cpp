// SPDX-License-Identifier: GPL-3.0-or-later
#include "zDModule.h"

#include <algorithm>
#include <vector>

#include "zExcept.h"
#include "zForm.h"

namespace {

std::vector<TzDataModule*> g_modules;

} // namespace

TzDataModule::TzDataModule(QObject* owner) : QObject(owner) {
    g_modules.push_back(this);
}

TzDataModule::~TzDataModule() {
    g_modules.erase(std::remove(g_modules.begin(), g_modules.end(), this), g_modules.end());
}

TzDataModule* TzDataModule::CreateModule(const QMetaObject& moduleClass, QObject* owner) {
    if (!moduleClass.inherits(&TzDataModule::staticMetaObject))
        throw EzExcept(IDS_zeNotDefined, "TzDataModule.CreateModule", moduleClass.className());
    auto* module = qobject_cast<TzDataModule*>(moduleClass.newInstance(Q_ARG(QObject*, owner)));
    if (module == nullptr)
        throw EzExcept(IDS_zeNotDefined, "TzDataModule.CreateModule",
                       std::string(moduleClass.className()) + " (constructor)");
    if (module->m_caption.isEmpty())
        module->m_caption = module->objectName();
    try {
        module->DoTranslate(true);
    } catch (...) {
        delete module;
        throw;
    }
    return module;
}

std::vector<TzDataModule*> TzDataModule::Modules() {
    return g_modules;
}

bool TzDataModule::DoTranslate(bool saving) {
    return LangHooks.DoTranslate ? LangHooks.DoTranslate(this, saving) : false;
}

void TzDataModule::OnLangTranslating(bool& done, bool /*flag*/) {
    if (LangHooks.Translating)
        LangHooks.Translating(this, done);
}

void TzDataModule::OnLangSaving(bool& done) {
    if (LangHooks.Saving)
        LangHooks.Saving(this, done);
}
