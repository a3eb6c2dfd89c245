#pragma once

#include <QIcon>

// Small button icons of the account dialogs, drawn at run time.
QIcon AddAccountIcon();    // a green plus
QIcon DeleteAccountIcon(); // a red cross
