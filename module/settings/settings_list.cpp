#include "settings/settings_list.h"

namespace {

settings_var* head = nullptr;

}  // namespace

settings_var* settings_list_head() { return head; }

void link_setting(settings_var& var) {
  settings_var** link = &head;
  for (; *link != nullptr; link = &(*link)->next) {
    if (*link == &var) return;
  }
  var.next = nullptr;
  *link = &var;
}

void unlink_setting(settings_var& var) {
  for (settings_var** link = &head; *link != nullptr; link = &(*link)->next) {
    if (*link == &var) {
      *link = var.next;
      var.next = nullptr;
      return;
    }
  }
}
