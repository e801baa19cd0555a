// The row of buttons under a table or list: some at its left end, the rest at its right.
#pragma once

#include <initializer_list>

class QHBoxLayout;
class QWidget;

namespace crawlmere::views::detail {

/// A new layout, for the caller to add, holding `leading` from the left in order, then a
/// stretch, then `trailing` in order.
QHBoxLayout* buttonRow(std::initializer_list<QWidget*> leading, std::initializer_list<QWidget*> trailing);

} // namespace crawlmere::views::detail
