// The condensed measures of one shot's aiming trace. Filled by the trace
// analysis, cached in each TShot and read by the grading and the shot table.
// All zero means "not analysed".
#pragma once

struct TraceAnalysis {
    bool valid = false;
    int nearestSlice = 0;       // 1 (earliest) .. 3 (last slice before the shot)
    int aimValue = 0;           // ring value of the hold centre, tenths
    int cogXInt = 0;
    int cogYInt = 0;
    double cogX = 0.0;          // hold centre, ring gaps from the target centre
    double cogY = 0.0;
    int devX = 0;               // standard deviation of the hold window x 100
    int devY = 0;
    int holdRadius = 0;         // combined standard deviation, hundredths
    int holdWindowMs = 0;
    double holdRingTrend = 0.0; // ring-value change across the hold window
    double holdRingIntercept = 0.0;
    double trendA = 0.0;        // last 0.2 s
    double interceptA = 0.0;
    double trendB = 0.0;        // 1 s to 0.2 s before the shot
    double interceptB = 0.0;
    double steadiness = 0.0;
    double trendSpread = 0.0;
    double timingRatio = 0.0;
    double ringTrend = 0.0;
    double trigValue = 0.0;
    double trigTime = 0.0;
    double trigDeviation = 0.0;
    // The settings the analysis ran with: a cached copy counts only while
    // they are still the loaded ones.
    int sliceMs = 0;
    int lr3SecBottom = 0;
};
