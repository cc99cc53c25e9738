// Trees at effort best on public benchmark nets whose optimal lengths are
// proven: never below the optimum, and on average within a small margin of it.
#include "exact_reference.h"

#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string data_folder = STEINER_QUALITY_DATA;

struct Instance {
    std::string file;
    std::string set; // "SC", or "OR" and the size
    int64_t rmst = 0;
    int64_t optimum = 0;
    std::vector<steiner::Point> net;
};

// The nets of lengths.tsv with a proven optimum: every Soukup-Chow net and
// the OR-Library nets of at most max_or_size points.
std::vector<Instance> proven_instances(size_t max_or_size) {
    std::ifstream table(data_folder + "/lengths.tsv");
    EXPECT_TRUE(table) << "cannot read " << data_folder << "/lengths.tsv";
    std::vector<Instance> instances;
    std::string line;
    std::getline(table, line); // the column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        Instance instance;
        size_t size = 0;
        std::string rmst, optimum, status;
        std::getline(fields, instance.file, '\t');
        fields >> size >> rmst >> optimum >> status;
        const bool soukup_chow = instance.file.rfind("soukup-chow/", 0) == 0;
        if (status != "optimal" || (!soukup_chow && size > max_or_size))
            continue;
        instance.set = soukup_chow ? "SC" : "OR" + std::to_string(size);
        instance.rmst = std::stoll(rmst);
        instance.optimum = std::stoll(optimum);
        std::ifstream points(data_folder + "/" + instance.file);
        size_t count = 0;
        points >> count;
        steiner::Point p{};
        while (instance.net.size() < count && points >> p.row >> p.column)
            instance.net.push_back(p);
        EXPECT_EQ(instance.net.size(), size) << instance.file;
        instances.push_back(instance);
    }
    return instances;
}

TEST(ProvenOptimaTest, ExactReferenceAgreesOnTheSmallNets) {
    size_t checked = 0;
    for (const Instance &instance : proven_instances(exact_reference::max_terminals)) {
        if (instance.net.size() > exact_reference::max_terminals)
            continue;
        EXPECT_EQ(exact_reference::steiner_length(instance.net), instance.optimum) << instance.file;
        checked++;
    }
    EXPECT_GE(checked, 20u);
}

TEST(ProvenOptimaTest, BestIsNearTheOptimum) {
    struct Set {
        size_t nets = 0;
        size_t optimal = 0;
        double percent_sum = 0;
        double percent_max = 0;
    };
    std::map<std::string, Set> sets;
    for (const Instance &instance : proven_instances(50)) {
        SCOPED_TRACE(instance.file);
        const steiner::Tree tree = steiner::route(instance.net);
        EXPECT_EQ(tree.rmst_length, instance.rmst);
        EXPECT_GE(tree.length, instance.optimum);
        const double percent = 100.0 * static_cast<double>(tree.length - instance.optimum) /
                               static_cast<double>(instance.optimum);
        Set &set = sets[instance.set];
        set.nets++;
        set.optimal += tree.length == instance.optimum;
        set.percent_sum += percent;
        set.percent_max = std::max(set.percent_max, percent);
    }
    // About twice what the search reached when these bounds were set; one
    // more net missing its optimum by a percent or two stays within them.
    const std::map<std::string, double> mean_bound = {
        {"SC", 0.1}, {"OR10", 0.15}, {"OR20", 0.3}, {"OR30", 0.25}, {"OR40", 0.3}, {"OR50", 0.4}};
    const double net_bound = 3.0;
    ASSERT_EQ(sets.size(), mean_bound.size());
    for (const auto &[name, set] : sets) {
        const double mean = set.percent_sum / static_cast<double>(set.nets);
        std::printf("%s: %zu nets, %.3f%% above the optimum on average, %.3f%% at most, "
                    "%zu optimal\n",
                    name.c_str(), set.nets, mean, set.percent_max, set.optimal);
        EXPECT_LE(mean, mean_bound.at(name)) << name;
        EXPECT_LE(set.percent_max, net_bound) << name;
    }
}

} // namespace
