#include "gnss/geoid/egm96_geoid.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "gnss/geoid/egm96_grid_data.hpp"

namespace {

constexpr std::size_t kHeaderBytes = 40;

std::uint64_t BigEndian(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int k = 0; k < bytes; ++k) {
        v = v << 8 | p[k];
    }
    return v;
}

Egm96Grid ReadGrid() {
    const std::span<const std::uint8_t> file = Egm96GridFile();
    Egm96Grid g{};
    g.bytes = file;
    const std::uint8_t* p = file.data();
    g.southDeg = std::bit_cast<double>(BigEndian(p, 8));
    g.westDeg = std::bit_cast<double>(BigEndian(p + 8, 8));
    g.stepLatDeg = std::bit_cast<double>(BigEndian(p + 16, 8));
    g.stepLonDeg = std::bit_cast<double>(BigEndian(p + 24, 8));
    g.rows = static_cast<int>(static_cast<std::int32_t>(BigEndian(p + 32, 4)));
    g.columns = static_cast<int>(static_cast<std::int32_t>(BigEndian(p + 36, 4)));
    return g;
}

}  // namespace

double Egm96Grid::At(int row, int column) const {
    const std::size_t index = static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                              static_cast<std::size_t>(column);
    const auto raw =
        static_cast<std::uint32_t>(BigEndian(bytes.data() + kHeaderBytes + 4 * index, 4));
    return static_cast<double>(std::bit_cast<float>(raw));
}

const Egm96Grid& Egm96GridData() {
    // The build checks the file's size; the header says the grid's shape, which the
    // interpolation takes as it is (the south-west corner at -90, -180; the columns go round the
    // earth once).
    static const Egm96Grid grid = ReadGrid();
    return grid;
}

double Egm96Separation(double latitudeDeg, double longitudeDeg) {
    const Egm96Grid& g = Egm96GridData();
    if (!std::isfinite(latitudeDeg) || !std::isfinite(longitudeDeg) || latitudeDeg < -90.0 ||
        latitudeDeg > 90.0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    // Grid coordinates of the place: the row from the south edge, the column from the west
    // edge, eastwards round the earth (the last column's east neighbour is column 0).
    const double y = (latitudeDeg - g.southDeg) / g.stepLatDeg;
    double x = std::fmod(longitudeDeg - g.westDeg, 360.0);
    if (x < 0) {
        x += 360.0;
    }
    x /= g.stepLonDeg;
    int row = static_cast<int>(std::floor(y));
    int column = static_cast<int>(std::floor(x));
    row = std::min(std::max(row, 0), g.rows - 2);  // the north pole is the last row's top edge
    column = std::min(std::max(column, 0), g.columns - 1);
    const double fy = y - row;
    const double fx = x - column;
    const int east = (column + 1) % g.columns;
    const double south = g.At(row, column) * (1.0 - fx) + g.At(row, east) * fx;
    const double north = g.At(row + 1, column) * (1.0 - fx) + g.At(row + 1, east) * fx;
    return south * (1.0 - fy) + north * fy;
}
