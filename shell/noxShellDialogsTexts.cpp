// STAND-IN, TO BE REPLACED (see the header).
#include "shell/noxShellDialogsTexts.h"

std::string noxDialogUser32String(uint32_t AID) {
  switch (AID) {
    case 2: return "Error";
    case 800: return "OK";
    case 801: return "Cancel";
    case 802: return "&Abort";
    case 803: return "&Retry";
    case 804: return "&Ignore";
    case 805: return "&Yes";
    case 806: return "&No";
    case 808: return "Help";
    default: return "";
  }
}

std::string noxDialogShell32String(uint32_t AID) {
  switch (AID) {
    case 13602: return "&Skip";
    case 16873: return "Error 0x%08lX: %s";
    case 16874: return "No error description available";
    default: return "";
  }
}

std::string noxDialogShellText(int32_t AIndex) {
  switch (AIndex) {
    case 9: return "Error %s: %s";
    case 10: return "No error description available";
    case 11: return "Operation log:";
    default: return std::to_string(AIndex);
  }
}
