#pragma once

#include <QString>

// The product and maker texts built into the program. They are kept enciphered in the binary
// and deciphered on first use.
namespace viro::builtin {

QString productName();  // short name: caption, tray, messages
QString productTitle(); // descriptive title: caption, default status bar text
QString makerName();    // tray hint
QString webAddress();   // web link, default parameter of function button 1
QString organisation(); // default organisation printed on reports

} // namespace viro::builtin
