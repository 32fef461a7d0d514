#include "tests/reliability/drill_receiver.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "records/record_encoder.hpp"
#include "tests/support/sample_ephemeris.hpp"

namespace {

template <std::size_t N>
DrillSession::Record MakeRecord(const RecordKindLayout& kind,
                                const std::array<std::uint8_t, N>& body) {
    DrillSession::Record record{&kind, {}, {}};
    AppendFramedRecord(record.framed, kind, body);
    AppendLogEntry(record.logEntry, kind, body);
    return record;
}

}  // namespace

DrillSession::DrillSession(int satelliteCount, int epochs, int firstEpoch)
    : satellites(satelliteCount) {
    for (int prn = 1; prn <= satellites; ++prn) {
        records.push_back(MakeRecord(kSnvLayout, EncodeEphemerisBody(SampleEphemeris(prn))));
    }
    for (int epoch = firstEpoch; epoch < firstEpoch + epochs; ++epoch) {
        for (int prn = 1; prn <= satellites; ++prn) {
            const MeasurementRecord m{static_cast<std::uint8_t>(prn), 1, 1.0e6 + epoch,
                                      0.070 + 0.001 * prn};
            records.push_back(MakeRecord(kMpcLayout, EncodeMeasurementBody(m)));
        }
        records.push_back(MakeRecord(kPbnLayout, EncodeEpochTimeBody(345600000 + 1000 * epoch)));
    }
}

Bytes DrillSession::Line(std::size_t first, std::size_t count) const {
    Bytes out;
    for (std::size_t k = first; k < records.size() && k - first < count; ++k) {
        out.insert(out.end(), records[k].framed.begin(), records[k].framed.end());
    }
    return out;
}

Bytes DrillSession::Log(std::size_t first, std::size_t count) const {
    Bytes out;
    for (std::size_t k = first; k < records.size() && k - first < count; ++k) {
        out.insert(out.end(), records[k].logEntry.begin(), records[k].logEntry.end());
    }
    return out;
}

bool DrillReceiver::AnswerConfiguration(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    std::string pending;
    int commands = 0;
    while (commands < 4) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{pty_.Fd(), POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0 || (p.revents & POLLIN) == 0) {
            continue;
        }
        char buffer[256];
        const ssize_t n = read(pty_.Fd(), buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
            pending.erase(0, end + 2);
            if (++commands < 4) {
                pty_.Write("$PASHR,ACK*3D\r\n");
            }
        }
    }
    return true;
}

std::uint64_t DrillReceiver::Flood(const Bytes& chunk,
                                   const std::function<bool()>& keepGoing) const {
    const int fd = pty_.Fd();
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);  // never stuck in a write once the tool has gone
    std::uint64_t sent = 0;
    std::size_t at = 0;
    while (keepGoing()) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 100) <= 0 || (p.revents & POLLOUT) == 0) {
            if ((p.revents & (POLLHUP | POLLERR)) != 0) {
                break;
            }
            continue;
        }
        const ssize_t n = write(fd, chunk.data() + at, chunk.size() - at);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        if (n > 0) {
            sent += static_cast<std::uint64_t>(n);
            at = (at + static_cast<std::size_t>(n)) % chunk.size();
        }
    }
    fcntl(fd, F_SETFL, flags);
    return sent;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
