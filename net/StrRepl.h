#pragma once

#include <QByteArray>
#include <QString>

// Replaces every occurrence of Old in S (non-overlapping, left to right). Without CaseSensitive,
// bytes are compared through the folding table (A-Z and 0xC0-0xDF fold 0x20 up).
QString FastReplace(const QString& S, const QString& Old, const QString& New, bool CaseSensitive);
// The same on 8-bit text.
QByteArray FastReplaceAnsi(const QByteArray& S, const QByteArray& Old, const QByteArray& New,
                           bool CaseSensitive);
// 1-based position of Sub in S at or after Start; 0 when there is none.
int FastPos(const QByteArray& Sub, const QByteArray& S, int Start, bool CaseSensitive);
void FastCharReplace(QByteArray& S, char From, char To, bool CaseSensitive);
