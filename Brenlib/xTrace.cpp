// SPDX-License-Identifier: GPL-3.0-or-later
#include "xTrace.h"

#include <fstream>
#include <mutex>

#include <QMetaObject>
#include <QObject>

#include "xHome.h"
#include "zFormat.h"

namespace {

std::mutex g_lock;
std::ofstream g_file;
bool g_open = false;

void WriteLine(std::string_view text) {
    g_file << text << '\n';
    g_file.flush();
    if (!g_file)
        throw EInOutError("trace file: write failed: " + TxTrace::FileName());
}

} // namespace

std::string TxTrace::FileName() {
    return ProgramBasePath() + ".trace";
}

void TxTrace::Open() {
    const std::lock_guard lock(g_lock);
    if (g_open)
        g_file.close();
    g_open = false;
    g_file.clear();
    g_file.open(FileName(), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!g_file)
        throw EInOutError("trace file: cannot create " + FileName());
    g_open = true;
    WriteLine("[Open]");
}

void TxTrace::Close() {
    const std::lock_guard lock(g_lock);
    if (!g_open)
        return;
    g_open = false;
    g_file << "[Close]\n";
    g_file.close();
}

bool TxTrace::IsOpen() {
    const std::lock_guard lock(g_lock);
    return g_open;
}

void TxTrace::trString(std::string_view text) {
    const std::lock_guard lock(g_lock);
    if (g_open)
        WriteLine(text);
}

void TxTrace::trComponent(const QObject* component, std::string_view text) {
    const std::string name = component != nullptr ? component->objectName().toStdString() : "";
    const std::string className = component != nullptr ? component->metaObject()->className() : "";
    trString(Format("%-12s:%-16s %s", name, className, text));
}

void TxTrace::trObject(const QObject* object, std::string_view text) {
    const std::string className = object != nullptr ? object->metaObject()->className() : "";
    trString(Format("%-12s:%-16s %s", "", className, text));
}
