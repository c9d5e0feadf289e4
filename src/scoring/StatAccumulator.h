// Running sums of (x, y, z) triples: mean and sample deviation of x and y, and
// the least-squares lines of x and y over z. Used by the trace analysis, the
// hold box and the graphs; held by value, allocates nothing.
#pragma once

struct StatPair {
    double x = 0.0;
    double y = 0.0;
};

// x = ax + bx * z, y = ay + by * z.
struct StatLines {
    double ax = 0.0;
    double bx = 0.0;
    double ay = 0.0;
    double by = 0.0;
};

struct StatAccumulator {
    double sumX = 0.0;
    double sumY = 0.0;
    double sumZ = 0.0;
    double sumXX = 0.0;
    double sumYY = 0.0;
    double sumZZ = 0.0;
    double sumXZ = 0.0;
    double sumYZ = 0.0;
    int count = 0;

    void Clear() { *this = StatAccumulator {}; }
    // Each sum is formed in extended precision and stored as double.
    void Add(double x, double y, double z);
    int Count() const { return count; }
    // (0, 0) without triples.
    StatPair Mean() const;
    // Sample standard deviation; (0, 0) with fewer than two triples.
    StatPair StdDev() const;
    // All 0 with fewer than two triples; a slope whose denominator is 0 (every
    // z equal) is 0, its intercept then the mean.
    StatLines Regression() const;
};
