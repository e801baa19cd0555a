// The label colour a result row is painted with, from the colour class of its URL record.
#pragma once

#include <optional>

class CrwlDataObject;

/// A device RGB colour with alpha, each component 0..1. The views turn it into their own colour
/// type; the engine stays free of GUI classes.
struct CrwlLabelColour {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 0.0;

    friend bool operator==(const CrwlLabelColour&, const CrwlLabelColour&) = default;

    /// The error label (red 1.0, green 0.4, blue 0.4, alpha 0.76).
    static constexpr CrwlLabelColour error() { return { 1.0, 0.4, 0.4, 0.76 }; }
    /// The warning label (red 0.8, green 0.63, blue 0.32, alpha 0.76).
    static constexpr CrwlLabelColour warning() { return { 0.8, 0.63, 0.32, 0.76 }; }

    /// Classes 3 and 4 give the error label, class 2 the warning label, any other class none.
    static std::optional<CrwlLabelColour> forColourClass(int colourClass);

    /// The label of a table row, as every result view asks it: none while the default
    /// `displayLabels` (YES when not set) is off or when the row is not a `CrwlUrl`; otherwise
    /// the label of the record's `colourForCrwlUrl`. Main thread.
    static std::optional<CrwlLabelColour> forRow(const CrwlDataObject* row);
};
