#pragma once

#include "TableOutput.h"
#include "ZQValve.h"

#include <string>
#include <vector>

// What the window's pages show of a data set, as tables: the rows of each
// page in page order (records that do not decode, and skipped or erased
// journal pages, are left out as on the pages).
struct ShowSection {
    std::string key;      // current, setup, hour, day, month, journal
    std::string caption;  // the page's caption
    TextTable table;
};

// The six sections in page order.
std::vector<ShowSection> BuildShowSections(const ZQValve& valve);

// Prints the sections (all, or the one named by `only`) aligned or as CSV.
// Several sections are each preceded by their caption and followed by an
// empty line.
void PrintShowSections(std::ostream& out, const std::vector<ShowSection>& sections,
                       const std::string& only, bool csv);
