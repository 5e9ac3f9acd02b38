#pragma once

#include <QString>

// The translation id for an Android install result code (a negative
// INSTALL_FAILED_ / INSTALL_PARSE_FAILED_ constant).
const char *installFailureTextId(int code);

// The user-visible text for that code (the translation of its id).
QString installFailureText(int code);
