#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Helpers for tests that work on real files.

// Writes content to path, creating its folders.
bool writeFile(const QString& path, const QByteArray& content);

// Reproducible pseudo-random bytes.
QByteArray randomBytes(qsizetype size, quint32 seed);

// Every item below root, hidden ones included, keyed by relative path: "d" for a folder,
// "l:<target>" for a symbolic link, "f:<sha256>" for a file. Two equal snapshots are equal trees.
QMap<QString, QString> treeSnapshot(const QString& root);

// The number of descriptors this process has open.
int openDescriptorCount();
