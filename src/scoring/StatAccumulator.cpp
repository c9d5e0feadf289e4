#include "StatAccumulator.h"

#include <cmath>

namespace {

using Ext = long double;

double Accumulate(double sum, Ext term)
{
    return double(Ext(sum) + term);
}

double Deviation(double sum, double sumSquares, int count)
{
    const Ext n = count;
    const Ext s = sum;
    return double(std::sqrt(std::fabs(Ext(sumSquares) - s * s / n) / (n - 1)));
}

} // namespace

void StatAccumulator::Add(double x, double y, double z)
{
    const Ext ex = x;
    const Ext ey = y;
    const Ext ez = z;
    sumX = Accumulate(sumX, ex);
    sumY = Accumulate(sumY, ey);
    sumZ = Accumulate(sumZ, ez);
    sumXX = Accumulate(sumXX, ex * ex);
    sumYY = Accumulate(sumYY, ey * ey);
    sumZZ = Accumulate(sumZZ, ez * ez);
    sumXZ = Accumulate(sumXZ, ex * ez);
    sumYZ = Accumulate(sumYZ, ey * ez);
    ++count;
}

StatPair StatAccumulator::Mean() const
{
    if (count == 0)
        return {};
    return { sumX / count, sumY / count };
}

StatPair StatAccumulator::StdDev() const
{
    if (count < 2)
        return {};
    return { Deviation(sumX, sumXX, count), Deviation(sumY, sumYY, count) };
}

StatLines StatAccumulator::Regression() const
{
    if (count < 2)
        return {};
    const Ext n = count;
    const Ext denominator = n * Ext(sumZZ) - Ext(sumZ) * Ext(sumZ);
    StatLines lines;
    Ext bx = 0;
    Ext by = 0;
    if (denominator != 0) {
        bx = (n * Ext(sumXZ) - Ext(sumZ) * Ext(sumX)) / denominator;
        by = (n * Ext(sumYZ) - Ext(sumZ) * Ext(sumY)) / denominator;
    }
    lines.bx = double(bx);
    lines.by = double(by);
    lines.ax = double((Ext(sumX) - bx * Ext(sumZ)) / n);
    lines.ay = double((Ext(sumY) - by * Ext(sumZ)) / n);
    return lines;
}
