// The main window's status line: a text with the thin progress line of its cell drawn under it.
#pragma once

#include "views/ProgBarTextFieldCell.h"

#include <QWidget>

namespace crawlmere::app {

/// Shows `text()` on one line, cut in the middle when too long (so that a line that ends with a
/// folder's name and a count keeps both; the tool tip reads whole), and the progress line of `cell()` (the
/// status field's `ProgBarTextFieldCell`) in the palette's highlight colour. `setProportion`
/// stores the fraction and repaints. Main thread only.
class StatusLineField final : public QWidget {
    Q_OBJECT
public:
    explicit StatusLineField(QWidget* parent = nullptr);

    QString text() const { return m_text; }
    /// The text as drawn at the present width.
    QString shownText() const;
    void setText(const QString& text);
    float proportion() const { return m_cell.proportion(); }
    void setProportion(float proportion);
    const ProgBarTextFieldCell& cell() const { return m_cell; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    ProgBarTextFieldCell m_cell;
};

} // namespace crawlmere::app
