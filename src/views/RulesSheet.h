// The window-modal sheet that adds or edits one crawl rule.
#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace crawlmere::views {

/// The rule list pop-up (`blacklistRulesRuleButton`, tags 0-3), the contains pop-up
/// (`blacklistRulesContainsButton`: 0 contains, 1 does not contain) and the term
/// (`blacklistRulesTextField`). OK ends it with code 1, Cancel with 0. Main thread.
class RulesSheet final : public QDialog {
    Q_OBJECT
public:
    explicit RulesSheet(QWidget* parent);

    /// Sets the sheet to a rule: its list, and the term with a leading "!" read as "does not
    /// contain" (a lone "!" stays the term).
    void setRule(int tag, const QString& term);
    void clearText();
    int ruleTag() const;
    bool doesNotContain() const;
    QString text() const;

private:
    QComboBox* m_rule;
    QComboBox* m_contains;
    QLineEdit* m_text;
};

} // namespace crawlmere::views
