// A block's page fields as data read from the window: what SafeConfig reads
// back and compares, the summary names and the command line reports.
#pragma once

#include <QString>
#include <vector>

#include "config/Blocks.h"

class QWidget;

// A page field as the page labels it, the text it shows, and the key it is
// matched by (its profile key, or its control where profiles do not carry it).
struct PageField {
  QString label;
  QString value;
  QString key;
  bool compared = true;
  bool operator==(const PageField&) const = default;
};
using PageFields = std::vector<PageField>;

// A field that differs: what one side holds and what the other does.
struct FieldDifference {
  QString label;
  QString first;
  QString second;
};
// The compared fields whose values differ, matched by key in the first's
// order; a field only one side has differs from an empty value.
std::vector<FieldDifference> Differences(const PageFields& first, const PageFields& second);

// The fields of a block as the controls under `root` show them now, labels
// prefixed with the block's name.
PageFields ReadPageFields(const QWidget& root, const BlockSpec& block);
// The key a field is matched by.
QString FieldKey(const FieldSpec& field);
