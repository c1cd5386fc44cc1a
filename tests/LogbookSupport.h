// What the logbook's tests share: a logbook file in a folder of its own, and reads to merge into
// it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "data/Logbook.h"
#include "tests/TestSupport.h"

namespace odomei {

inline const LocalTime kAt{2026, 12, 7, 10, 0, 0, 0};

// A read stored whatever meter it came from, as the user's word that the meter now sits in the
// first vehicle would: for tests that give one logbook the histories of unrelated meters.
inline const ReadTarget kAnyMeter{{}, true, true};

inline MeterReading ReadingOf(const std::array<std::uint8_t, kBlockSize>& block) {
    return DecodeReading(MeasurementBlock(block));
}

class LogbookFile : public ::testing::Test {
protected:
    std::unique_ptr<Logbook> OpenBook(int busyMs = kLogbookBusyMs) {
        Failure error;
        auto book = Logbook::Open(path, &error, LogbookAccess::kWrite, busyMs);
        EXPECT_NE(book, nullptr) << FailureLine(error);
        return book;
    }
    MergeCounts Merge(Logbook& book, const MeterReading& reading, const ReadTarget& target = {}) {
        Failure error;
        const auto counts = book.Merge(reading, kAt, target, &error);
        EXPECT_TRUE(counts.has_value()) << FailureLine(error);
        return counts.value_or(MergeCounts{});
    }
    test::TempDir dir;
    std::string path = dir.File(kLogbookFileName);
};

}  // namespace odomei
