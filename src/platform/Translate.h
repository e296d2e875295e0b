#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The program's own texts, made outside the widgets, in the user's language.
// TrText gives a text as the installed translation has it (the English source
// where there is none), in UTF-8; lupdate finds it by its context and source,
// as it finds QCoreApplication::translate. TextArgs fills %1 to %9 with bytes
// as they are, so a path that is no valid UTF-8 reaches the message unchanged
// and a %2 inside the first argument is never filled in turn.
std::string TrText(const char* context, const char* source);
std::string TextArgs(std::string_view text, std::initializer_list<std::string_view> args);
