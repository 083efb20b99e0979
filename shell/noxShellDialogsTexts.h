// STAND-IN, TO BE REPLACED: the system texts that the dialogs read (button
// captions by number, error formats) and the library's own texts belong to the
// language-table and system-string units. Until those land, this file answers
// with fixed English texts. Only noxShellDialogs.cpp calls these wrappers, so
// switching to the real units is a change of these few bodies.
#pragma once

#include <cstdint>
#include <string>

std::string noxDialogUser32String(uint32_t AID);
std::string noxDialogShell32String(uint32_t AID);
std::string noxDialogShellText(int32_t AIndex);
