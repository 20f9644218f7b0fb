// What the list box and the combo box's dropped list share: the items' row height, where
// an item goes in a sorted list, how a search finds one, and how rows are drawn.
#ifndef QK_PLATFORM_USER32_LISTBOX_H
#define QK_PLATFORM_USER32_LISTBOX_H

#include <string>
#include <vector>

#include "platform/user32/wnd.h"

namespace qk {
namespace wnd {

// The height of one row: the control's font height.
int ItemHeight(const Window *w);

// Inserts an item and gives its index: a sorted item where the platform's binary search
// puts it (before an equal item the search meets, so items equal but for case keep no fixed
// order), an unsorted one at the end.
int AddItem(std::vector<std::string> &items, const std::string &text, bool sorted);

// Whether an index names an item.
bool ValidItem(const std::vector<std::string> &items, WPARAM index);
// LB_GETTEXT and CB_GETLBTEXT: copies an item with its NUL into `buffer` and gives its
// length; LB_ERR (CB_ERR) for no such item or no buffer.
LRESULT CopyItemText(const std::vector<std::string> &items, WPARAM index, LPARAM buffer);
// LB_GETTEXTLEN and CB_GETLBTEXTLEN: an item's length, or LB_ERR (CB_ERR).
LRESULT ItemTextLength(const std::vector<std::string> &items, WPARAM index);

// Finds an item starting after `start` and wrapping round to it, as the platform searches:
// the whole text compared as the sort compares it (exact), or a prefix without regard to
// case, directory and drive entries ("[sounds]", "[-c-]") also by their names. An empty
// text finds nothing; -1 when nothing is found.
int FindItem(const std::vector<std::string> &items, int start, const char *text, bool exact);

// Draws list rows from `first` into r: the selected ones and `highlighted` highlighted, a
// focus rectangle round `focusRow` (-1: none).
void DrawListRows(HDC dc, RECT r, const std::vector<std::string> &rows, int first, int rowHeight,
                  const std::vector<bool> &selected, int highlighted, int focusRow);

}  // namespace wnd
}  // namespace qk

#endif
