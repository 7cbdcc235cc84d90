#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class CDbDatabase;
class CDbRetryPolicy;
class CRecordSetSql;

// Checking the files of the list until their sizes fill a medium (a CD, a DVD or a size of the
// person's choosing).

struct CCapacityPreset
{
    const char* name;
    qint64 bytes;
};

// The presets in the order the dialog lists them; "Custom" is not among them.
const std::vector<CCapacityPreset>& CapacityPresets();
// The custom size's units ("Bytes", "KB", "MB", "GB") with their factors; MB is the default.
const std::vector<std::pair<QString, qint64>>& CapacityUnits();
inline constexpr int kDefaultCapacityUnit = 2;

// number × the unit's factor, truncated to whole bytes; nothing when the number is not a
// non-negative decimal number (digits and at most one point) or the product does not fit.
std::optional<qint64> CustomCapacity(const QString& number, int unit);

enum class ECheckToSizeOrder
{
    ByName, // first fit in name order
    BySize, // largest first: a greedy fill
};

struct CCheckToSizeResult
{
    std::vector<qint32> checkedFileIds; // the files this run checked
    qint64 nTotal = 0;                  // the size of the checked files of the list, this run's included
};

// The list's rows (its FROM and WHERE) walked in the chosen order. The files the user checked
// already count first; then each file neither checked, nor marked DontMark, nor a ghost is
// checked if it still fits. Nothing is checked beyond the capacity. Throws CDbException when the
// rows cannot be read; the marks are written under policy (false when it gave up).
bool CheckFilesToSize(CDbDatabase& db, const CRecordSetSql& list, ECheckToSizeOrder order, qint64 capacity,
                      const QString& userName, CDbRetryPolicy& policy, CCheckToSizeResult& result);
