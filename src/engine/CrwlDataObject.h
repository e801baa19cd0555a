// Base of the crawl's row objects (URL records and link occurrences): the two visibility flags
// that the views filter on and the column lookup by key.
#pragma once

#include <QString>
#include <QVariant>

/// Common base of `CrwlUrl` and `CrwlLinkInstance`. Not copyable: rows are shared by pointer.
class CrwlDataObject {
public:
    virtual ~CrwlDataObject();

    CrwlDataObject(const CrwlDataObject&) = delete;
    CrwlDataObject& operator=(const CrwlDataObject&) = delete;

    /// The text of the column named `key`. The base answers "" for every key.
    virtual QString getFieldByName(const QString& key) const;

    /// The value a table sorts the column `key` by: what the row's getter named "get" followed by
    /// the key with its first letter in upper case answers (`getLinkcount` for "linkcount").
    /// The base answers the column's text; rows override it for keys whose getter is numeric.
    virtual QVariant getSortValue(const QString& key) const;

    /// Passes the views' first filter stage.
    bool getVisible() const { return visible; }
    /// Passes the views' second filter stage.
    bool getVisible2() const { return visible2; }
    void setVisible(bool value) { visible = value; }
    void setVisible2(bool value) { visible2 = value; }

    /// YES for the column keys that views sort and filter as numbers; the key's case is ignored
    /// ("LinkCount" is numeric).
    static bool isNumber(const QString& key);
    /// YES only for the column key "timestamp", in any case.
    static bool isDate(const QString& key);

protected:
    CrwlDataObject() = default;

private:
    // One byte for both: a derived class's fields start right after it (the link occurrences,
    // millions in a scan, fit in 24 bytes that way).
    bool visible : 1 = false;
    bool visible2 : 1 = false;
};
