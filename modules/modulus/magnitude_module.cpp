#include "magnitude_module.h"

#include <cmath>

using namespace modkit;

void MagnitudeModule::Transform(const Block& in, const Block& out)
{
    const long bins = in.count / 2;
    const long m = out.count;
    for (long i = 0; i < bins; ++i) {
        long double re = in.data[2 * i];
        long double im = in.data[2 * i + 1];
        // The log of the power itself: 0.1 ln(power) is 0.2 ln(magnitude), no square root needed.
        float value = static_cast<float>(0.1L * std::log(re * re + im * im) + 0.5L * i / m);
        if (value > 1.0f) value = 1.0f;
        if (value < -1.0f) value = -1.0f; // a zero bin gives minus infinity
        out.data[i] = value;
    }
}
