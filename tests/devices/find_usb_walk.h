// FindUSB of either device library over the simulated hidapi: the walk
// through the members it hands out, and the members hidapi lists without a
// path, which both libraries must pass over. Test code; one thread.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/devices/simhid.h"

namespace orvana::test {

// A path FindUSB returned and the index it left behind.
using FindUsbStep = std::pair<std::string, int>;

// find: the library's FindUSB with its string already freed. Calls it from
// index 0 until the index comes back 0, at most 8 times.
inline std::vector<FindUsbStep> walkFindUsb(const std::function<std::string(int*)>& find) {
    std::vector<FindUsbStep> steps;
    int index = 0;
    do {
        std::string path = find(&index);
        steps.emplace_back(std::move(path), index);
    } while (index != 0 && steps.size() < 8);
    return steps;
}

// hidapi may list a device it cannot name with a NULL or empty path; such a
// member can never be opened, so the search passes over it and never tries.
// validPath: a path for a proper member of this vendor and product.
inline void expectMembersWithoutPathSkipped(unsigned short vendor, unsigned short product,
                                            const char* validPath,
                                            const std::function<std::string(int*)>& find) {
    const char* const none = nullptr;
    const std::string path = validPath;
    const struct {
        const char* name;
        std::vector<const char*> paths;
        std::vector<FindUsbStep> expected;
    } cases[] = {
        {"NULL path alone", {none}, {{"", 0}}},
        {"empty path alone", {""}, {{"", 0}}},
        {"NULL path before a member", {none, validPath}, {{path, 2}, {"", 0}}},
        {"empty path before a member", {"", validPath}, {{path, 2}, {"", 0}}},
        {"NULL path after a member", {validPath, none}, {{path, 1}, {"", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        simhid_reset();
        for (const char* p : c.paths)
            simhid_add_device(vendor, product, p);
        EXPECT_EQ(walkFindUsb(find), c.expected);
        simhid_counters counters{};
        simhid_get_counters(&counters);
        EXPECT_EQ(counters.opens + counters.failed_opens, 0);
    }
}

}  // namespace orvana::test
