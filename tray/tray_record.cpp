#include "tray/tray_record.h"

#include <cstring>

#include "res/version.h"

namespace discora {

void FillTooltip(char (&tip)[64], const std::string& text) {
  const std::size_t length = text.size() < sizeof tip - 1 ? text.size() : sizeof tip - 1;
  std::memset(tip, ' ', sizeof tip);
  std::memcpy(tip, text.data(), length);
  tip[length] = '\0';
}

TrayRecord MakeTrayRecord(WindowHandle window, IconHandle icon, const std::string& caption) {
  TrayRecord record;
  record.cbSize = kTrayRecordSize;
  record.hWnd = window;
  record.uID = kTrayIconId;
  record.uFlags = kTrayFlags;
  record.uCallbackMessage = kTrayCallbackMessage;
  record.hIcon = icon;
  FillTooltip(record.szTip, caption + DISCORA_TIP_CREDIT);
  return record;
}

}  // namespace discora
