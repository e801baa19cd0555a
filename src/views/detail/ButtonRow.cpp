// The row of buttons under a table or list.
#include "views/detail/ButtonRow.h"

#include <QHBoxLayout>

namespace crawlmere::views::detail {

QHBoxLayout* buttonRow(std::initializer_list<QWidget*> leading, std::initializer_list<QWidget*> trailing)
{
    auto* row = new QHBoxLayout;
    for (QWidget* widget : leading)
        row->addWidget(widget);
    row->addStretch();
    for (QWidget* widget : trailing)
        row->addWidget(widget);
    return row;
}

} // namespace crawlmere::views::detail
