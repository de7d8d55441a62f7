// A Kestrum QX on an ALSA sequencer port, for the end-to-end test: the real
// program finds it by name and identity reply and talks to it over the real
// MIDI stack. It holds 100 programs, answers the identity request, a program
// dump request, a program dump (stored, answered with data load completed)
// and takes a current-program dump as its current program, logging which
// program of which generation it is.
//
// Its programs change between receptions, as if edited on the unit: every
// reception after the first begins (at the request for program 0) by
// changing every data byte of every program it holds, so a table that misses
// any program of a reception still holds an older one. Generation G, what
// reception G (0 for the first) sent, is written to unit-sent-G.bin and
// unit-sent.bin once program 99 has been answered.
//
// Usage: kestrum_unit OUT_DIR [SECONDS] [SEED] [--name NAME] [--flood-rate N]
//                     [--pace-ms MS]
// --name: its client name, and its port's name with " MIDI 1" after it
// ("Kestrum QX" by default). SIGUSR1 starts a flood of note messages on the
// same port as its answers, SIGUSR2 stops it: at most N a second (400 by
// default), and fewer where the program's last transfer without the flood
// shows that it runs slower (see kNotesPerExchange).
// SIGHUP paces the next transfer: each dump and data load completed answer
// waits MS milliseconds (250 by default), so that the host can act in the
// middle of it. SIGRTMIN, sent just before the host clicks, makes the
// answers of that transfer quick (10 ms) until a connection to or from the
// unit's port is made or broken, as a program does when it reopens its
// ports: an answer is then on its way whenever the click is handled.
// SIGRTMIN+1 switches it off and on again: its sequencer client is closed,
// which removes every connection to and from its port, and opened again at
// once, which gives it the same address (the sequencer hands out the lowest
// free client number); it keeps its programs, forgets a message half
// received and answers not yet sent, and logs "away from C:P" and "back at
// C:P".
// Writes OUT_DIR/unit-initial.bin (its 100 dumps at the start) and
// OUT_DIR/unit.ready once its port is up; unit-dumps.bin (the program dumps
// it received, in order) as they come; at SIGTERM, SIGINT or after SECONDS:
// unit-received.bin (every sysex message it received, back to back),
// unit-stored.bin (its 100 dumps now) and unit-current.bin. unit.log has a
// line for every message, written as it goes, so a test can follow it; each
// line ends in "  @" and the seconds since boot.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

constexpr int kPrograms = 100;
constexpr size_t kDumpSize = 47;
constexpr size_t kCurDumpSize = 45;
constexpr size_t kPackedSize = 37;
// Flood notes at most in the time the program takes for one exchange of a
// transfer without the flood: about 3 ms on an idle machine (400 notes a
// second, the most), 7 to 13 ms beside a full load (115 to 215 a second).
constexpr double kNotesPerExchange = 1.5;
// The wait of a quick answer: short beside the time a program takes to
// handle a click (more than 10 ms before it touches a port), long enough
// that the rest of the transfer outlasts a click on a loaded machine.
constexpr double kQuickPace = 0.01;
const std::uint8_t kHeader[] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10};

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_flood = 0;
volatile std::sig_atomic_t g_pace = 0;
volatile std::sig_atomic_t g_quick = 0;
volatile std::sig_atomic_t g_cycle = 0;
void onSignal(int) { g_stop = 1; }
void onFloodSignal(int signal) { g_flood = signal == SIGUSR1 ? 1 : 0; }
void onPaceSignal(int) { g_pace = 1; }
void onQuickSignal(int) { g_quick = 1; }
void onCycleSignal(int) { g_cycle = 1; }

double seconds(const timespec& t) { return (double) t.tv_sec + (double) t.tv_nsec * 1e-9; }
// Seconds since boot, the time /proc/uptime gives the test's own log.
double now()
{
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return seconds(t);
}

bool writeFile(const std::string& path, const Bytes& data)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

std::string hexHead(const Bytes& m)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < m.size() && i < 10; ++i)
    {
        std::snprintf(buf, sizeof buf, "%02X ", m[i]);
        s += buf;
    }
    if (m.size() > 10)
        s += "... ";
    return s + "(" + std::to_string(m.size()) + " bytes)";
}

bool hasUnitHeader(const Bytes& m, std::uint8_t function)
{
    return m.size() > 7 && std::memcmp(m.data(), kHeader, sizeof kHeader) == 0 && m[6] == function
           && m.back() == 0xF7;
}

// Packed data bytes are 7-bit, as on the wire; the last group's high-bit
// byte (packed byte 32) carries bits for four values only, the others clear.
std::uint8_t packedMask(size_t i) { return i == 32 ? 0x0F : 0x7F; }

class Unit
{
public:
    explicit Unit(std::uint32_t seed)
    {
        std::uint32_t x = seed != 0 ? seed : 1;
        for (int p = 0; p < kPrograms; ++p)
        {
            const std::uint8_t head[] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20, (std::uint8_t) p};
            m_programs.insert(m_programs.end(), std::begin(head), std::end(head));
            for (size_t i = 0; i < kPackedSize; ++i)
            {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                m_programs.push_back((std::uint8_t) (x & packedMask(i)));
            }
            m_programs.push_back(0xF7);
        }
        m_initial = m_programs;
        m_sent = m_programs;
    }

    ~Unit()
    {
        if (m_seq != nullptr)
            snd_seq_close(m_seq);
        if (m_dumpsFile != nullptr)
            std::fclose(m_dumpsFile);
        if (m_logFile != nullptr)
            std::fclose(m_logFile);
    }

    bool open(const std::string& out, const std::string& name, double floodRate, double paceSeconds)
    {
        m_out = out;
        m_floodShortestInterval = 1.0 / floodRate;
        m_floodInterval = m_floodShortestInterval;
        m_paceSeconds = paceSeconds;
        m_name = name;
        m_logFile = std::fopen((out + "/unit.log").c_str(), "w");
        m_dumpsFile = std::fopen((out + "/unit-dumps.bin").c_str(), "wb");
        return m_logFile != nullptr && m_dumpsFile != nullptr && openSequencer();
    }

    bool openSequencer()
    {
        const std::string& name = m_name;
        if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0)
            return false;
        // Non-blocking: a program that stops reading must not stall the unit
        // (a flood note that finds no room is dropped, an answer retried).
        snd_seq_nonblock(m_seq, 1);
        snd_seq_set_client_name(m_seq, name.c_str());
        snd_seq_set_input_buffer_size(m_seq, 1 << 16);
        snd_seq_set_output_buffer_size(m_seq, 1 << 16);
        m_client = snd_seq_client_id(m_seq);
        m_port = snd_seq_create_simple_port(m_seq, (name + " MIDI 1").c_str(),
                                            SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                                | SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE
                                                | SND_SEQ_PORT_CAP_DUPLEX,
                                            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE);
        // The sequencer announces every connection made or broken here, so a
        // paced answer can be sent while the program changes its ports.
        return m_port >= 0
               && snd_seq_connect_from(m_seq, m_port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) >= 0;
    }

    void run(double seconds)
    {
        std::vector<pollfd> fds = pollDescriptors();
        const double start = now();
        double nextNote = 0;
        while (!g_stop)
        {
            const double t = now();
            if (t - start > seconds)
                break;
            if (g_cycle != 0)
            {
                g_cycle = 0;
                if (!switchOffAndOn())
                    break;
                fds = pollDescriptors();
            }
            if ((g_flood != 0) != m_flooding)
            {
                m_flooding = g_flood != 0;
                nextNote = t;
                log(m_flooding ? "flood on, " + std::to_string((int) (1 / m_floodInterval + 0.5)) + " notes a second"
                               : "flood off, " + std::to_string(m_floodSent) + " notes sent, "
                                     + std::to_string(m_floodDropped) + " dropped");
            }
            if (g_pace != 0)
            {
                g_pace = 0;
                m_pacing = true;
                log("pacing on, " + std::to_string((int) (m_paceSeconds * 1000)) + " ms an answer");
            }
            if (g_quick != 0)
            {
                g_quick = 0;
                if (m_pacing)
                {
                    m_quick = true;
                    for (Answer& a : m_waiting)
                        a.due = std::min(a.due, t + kQuickPace);
                    log("quick until a port changes");
                }
            }
            if (m_flooding)
                while (nextNote <= t)
                {
                    sendNote();
                    nextNote += m_floodInterval;
                }
            while (!m_waiting.empty() && m_waiting.front().due <= now())
                sendWaiting();
            double wake = t + 0.1;
            if (m_flooding)
                wake = std::min(wake, nextNote);
            if (!m_waiting.empty())
                wake = std::min(wake, m_waiting.front().due);
            const int timeout = std::max(0, (int) ((wake - now()) * 1000));
            if (poll(fds.data(), fds.size(), timeout) <= 0)
                continue;
            while (snd_seq_event_input_pending(m_seq, 1) > 0)
            {
                snd_seq_event_t* ev = nullptr;
                const int rc = snd_seq_event_input(m_seq, &ev);
                if (rc == -EAGAIN || ev == nullptr)
                    break;
                if (rc < 0)
                {
                    log("input error " + std::to_string(rc));
                    break;
                }
                take(ev);
            }
        }
    }

    void writeResults(const std::string& out)
    {
        writeFile(out + "/unit-received.bin", m_receivedBytes);
        writeFile(out + "/unit-stored.bin", m_programs);
        writeFile(out + "/unit-current.bin", m_current);
        log("received " + std::to_string(m_receivedCount) + " messages, sent " + std::to_string(m_sentCount));
        std::fclose(m_logFile);
        m_logFile = nullptr;
    }

    const Bytes& initial() const { return m_initial; }

private:
    std::vector<pollfd> pollDescriptors() const
    {
        std::vector<pollfd> fds((size_t) snd_seq_poll_descriptors_count(m_seq, POLLIN));
        snd_seq_poll_descriptors(m_seq, fds.data(), (unsigned) fds.size(), POLLIN);
        return fds;
    }

    std::string address() const { return std::to_string(m_client) + ":" + std::to_string(m_port); }

    bool switchOffAndOn()
    {
        log("away from " + address());
        snd_seq_close(m_seq);
        m_seq = nullptr;
        m_pending.clear();
        m_waiting.clear();
        m_answeredAt = 0;
        m_exchangeSum = 0;
        m_exchanges = 0;
        m_pacing = m_quick = false;
        if (!openSequencer())
        {
            log("no sequencer port when switched on again");
            return false;
        }
        log("back at " + address());
        return true;
    }

    // What sending an answer completes.
    enum class Ends
    {
        nothing,
        reception, // the dump of program 99
        transmit   // the acknowledgement of program 99
    };
    struct Answer
    {
        double due;
        Bytes message;
        Ends ends;
    };

    void log(const std::string& line)
    {
        std::fprintf(m_logFile, "%s  @%.2f\n", line.c_str(), now());
        std::fflush(m_logFile);
    }

    void take(const snd_seq_event_t* ev)
    {
        if (ev->type == SND_SEQ_EVENT_PORT_SUBSCRIBED || ev->type == SND_SEQ_EVENT_PORT_UNSUBSCRIBED)
        {
            const snd_seq_addr_t& from = ev->data.connect.sender;
            const snd_seq_addr_t& to = ev->data.connect.dest;
            if (from.client != m_client && to.client != m_client)
                return;
            log(std::string(ev->type == SND_SEQ_EVENT_PORT_SUBSCRIBED ? "connected " : "disconnected ")
                + std::to_string(from.client) + ":" + std::to_string(from.port) + " -> "
                + std::to_string(to.client) + ":" + std::to_string(to.port));
            if (m_quick)
            {
                m_quick = false;
                log("paced again: a port changed");
            }
            return;
        }
        if (ev->type != SND_SEQ_EVENT_SYSEX)
        {
            // The sequencer's other announcements are not the unit's business.
            if (ev->type < SND_SEQ_EVENT_CLIENT_START || ev->type > SND_SEQ_EVENT_PORT_CHANGE)
                log("event of type " + std::to_string(ev->type));
            return;
        }
        // A long message may come in more than one event.
        const auto* p = static_cast<const std::uint8_t*>(ev->data.ext.ptr);
        for (unsigned i = 0; i < ev->data.ext.len; ++i)
        {
            const std::uint8_t b = p[i];
            if (b == 0xF0)
                m_pending.assign(1, b);
            else if (!m_pending.empty())
            {
                m_pending.push_back(b);
                if (b == 0xF7)
                {
                    handle(m_pending);
                    m_pending.clear();
                }
            }
        }
    }

    static bool isProgramDump(const Bytes& m)
    {
        return m.size() == kDumpSize && hasUnitHeader(m, 0x4C) && m[7] == 0x20 && m[8] < kPrograms;
    }

    void handle(const Bytes& m)
    {
        ++m_receivedCount;
        m_receivedBytes.insert(m_receivedBytes.end(), m.begin(), m.end());
        // On file before the log line, so that a test that follows the log
        // finds it there.
        if (isProgramDump(m))
        {
            std::fwrite(m.data(), 1, m.size(), m_dumpsFile);
            std::fflush(m_dumpsFile);
        }
        log("in  " + hexHead(m));

        static const Bytes identityRequest = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
        if (m == identityRequest)
        {
            send({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x10, 0x01, 0x27, 0x00, 0x01, 0x00, 0x03, 0x00, 0xF7});
        }
        else if (m.size() == 10 && hasUnitHeader(m, 0x1C) && m[7] == 0x20 && m[8] < kPrograms)
        {
            const int p = m[8];
            timeExchange();
            if (p == 0)
                beginReception();
            const auto from = m_programs.begin() + (long) (p * kDumpSize);
            std::copy(from, from + (long) kDumpSize, m_sent.begin() + (long) (p * kDumpSize));
            answer(Bytes(from, from + (long) kDumpSize), p == kPrograms - 1 ? Ends::reception : Ends::nothing);
        }
        else if (isProgramDump(m))
        {
            timeExchange();
            std::copy(m.begin(), m.end(), m_programs.begin() + (long) (m[8] * kDumpSize));
            answer({0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x23, 0xF7},
                   m[8] == kPrograms - 1 ? Ends::transmit : Ends::nothing);
        }
        else if (m.size() == kCurDumpSize && hasUnitHeader(m, 0x40))
        {
            m_current = m;
            log("current: " + nameSentProgram(m));
        }
        else
        {
            log("    not answered");
        }
    }

    // Every reception after the first sends changed programs: each data byte
    // of each program the unit holds gets some of its bits flipped.
    void beginReception()
    {
        const int g = m_receptions++;
        if (g > 0)
            for (int p = 0; p < kPrograms; ++p)
                for (size_t i = 0; i < kPackedSize; ++i)
                {
                    const std::uint8_t mask = packedMask(i);
                    m_programs[(size_t) p * kDumpSize + 9 + i] ^= (std::uint8_t) (1 + (g * 131 + p * 37 + (int) i * 11) % mask);
                }
        m_sent = m_programs;
        log("generation " + std::to_string(g) + " begins");
    }

    void finishReception()
    {
        const int g = m_receptions - 1;
        if ((int) m_sentGenerations.size() <= g)
            m_sentGenerations.resize((size_t) g + 1);
        m_sentGenerations[(size_t) g] = m_sent;
        writeFile(m_out + "/unit-sent-" + std::to_string(g) + ".bin", m_sent);
        writeFile(m_out + "/unit-sent.bin", m_sent);
        log("sent generation " + std::to_string(g));
    }

    // Which program, of which reception, a current-program dump carries.
    std::string nameSentProgram(const Bytes& m) const
    {
        for (size_t g = m_sentGenerations.size(); g-- > 0;)
            for (int p = 0; p < kPrograms && !m_sentGenerations[g].empty(); ++p)
                if (std::equal(m.begin() + 7, m.begin() + 7 + (long) kPackedSize,
                               m_sentGenerations[g].begin() + (long) (p * kDumpSize + 9)))
                    return "program " + std::to_string(p) + " of generation " + std::to_string(g);
        return "no program the unit sent";
    }

    void answer(Bytes message, Ends ends)
    {
        m_waiting.push_back({now() + (!m_pacing ? 0.0 : m_quick ? kQuickPace : m_paceSeconds), std::move(message), ends});
        if (!m_pacing)
            while (!m_waiting.empty())
                sendWaiting();
    }

    void sendWaiting()
    {
        const Answer a = m_waiting.front();
        m_waiting.erase(m_waiting.begin());
        send(a.message);
        m_answeredAt = now();
        if (a.ends == Ends::reception)
            finishReception();
        if (a.ends != Ends::nothing)
            finishTransfer();
    }

    void timeExchange()
    {
        if (m_answeredAt > 0)
        {
            m_exchangeSum += now() - m_answeredAt;
            ++m_exchanges;
        }
        m_answeredAt = 0;
    }

    // The flood keeps to a rate the program takes with time to spare: a
    // program that falls behind handles nothing else (its message thread
    // serves one lock request after another), and the answers of a transfer
    // wait behind every note queued before them. Its time for an exchange
    // of a transfer without the flood measures how fast it runs here, now.
    void finishTransfer()
    {
        m_answeredAt = 0;
        if (m_exchanges > 0)
        {
            const double exchange = m_exchangeSum / m_exchanges;
            std::string line = "the program took " + std::to_string((int) (exchange * 1000 + 0.5)) + " ms an exchange";
            if (!m_flooding)
            {
                m_floodInterval = std::max(m_floodShortestInterval, exchange / kNotesPerExchange);
                line += "; a flood would have " + std::to_string((int) (1 / m_floodInterval + 0.5)) + " notes a second";
            }
            log(line);
        }
        m_exchangeSum = 0;
        m_exchanges = 0;
        m_quick = false;
        if (m_pacing)
        {
            m_pacing = false;
            log("pacing off");
        }
    }

    // Note on and note off by turns, to everyone subscribed to the port.
    void sendNote()
    {
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        if (m_floodSent % 2 == 0)
            snd_seq_ev_set_noteon(&ev, 0, 60, 100);
        else
            snd_seq_ev_set_noteoff(&ev, 0, 60, 0);
        snd_seq_ev_set_source(&ev, m_port);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        if (snd_seq_event_output_direct(m_seq, &ev) >= 0)
            ++m_floodSent;
        else
            ++m_floodDropped;
    }

    void send(const Bytes& m)
    {
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_seq_ev_set_source(&ev, m_port);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        snd_seq_ev_set_sysex(&ev, m.size(), const_cast<std::uint8_t*>(m.data()));
        // An answer waits (up to 2 s) for room rather than being lost.
        int rc = snd_seq_event_output_direct(m_seq, &ev);
        for (int i = 0; rc == -EAGAIN && i < 2000; ++i)
        {
            const timespec ms{0, 1000000};
            nanosleep(&ms, nullptr);
            rc = snd_seq_event_output_direct(m_seq, &ev);
        }
        log("out " + hexHead(m) + (rc < 0 ? " failed " + std::to_string(rc) : std::string()));
        if (rc >= 0)
            ++m_sentCount;
    }

    snd_seq_t* m_seq = nullptr;
    int m_client = -1, m_port = -1;
    std::string m_out, m_name;
    Bytes m_programs, m_initial, m_sent, m_current, m_pending, m_receivedBytes;
    std::vector<Bytes> m_sentGenerations;
    std::vector<Answer> m_waiting;
    int m_receptions = 0;
    int m_receivedCount = 0, m_sentCount = 0;
    long m_floodSent = 0, m_floodDropped = 0;
    double m_floodShortestInterval = 1.0 / 400, m_floodInterval = 1.0 / 400;
    // The program's time from an answer to its next message in a transfer.
    double m_answeredAt = 0, m_exchangeSum = 0;
    int m_exchanges = 0;
    double m_paceSeconds = 0.25;
    bool m_pacing = false, m_quick = false, m_flooding = false;
    FILE* m_logFile = nullptr;
    FILE* m_dumpsFile = nullptr;
};
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> positional;
    std::string name = "Kestrum QX";
    double floodRate = 400;
    double paceMs = 250;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--name" && i + 1 < argc)
            name = argv[++i];
        else if (arg == "--flood-rate" && i + 1 < argc)
            floodRate = std::max(1.0, std::atof(argv[++i]));
        else if (arg == "--pace-ms" && i + 1 < argc)
            paceMs = std::max(0.0, std::atof(argv[++i]));
        else
            positional.push_back(arg);
    }
    if (positional.empty())
    {
        std::fprintf(stderr, "usage: %s OUT_DIR [SECONDS] [SEED] [--name NAME] [--flood-rate N] [--pace-ms MS]\n", argv[0]);
        return 2;
    }
    const std::string out = positional[0];
    const double seconds = positional.size() > 1 ? std::atof(positional[1].c_str()) : 600.0;
    const auto seed
        = (std::uint32_t) (positional.size() > 2 ? std::strtoul(positional[2].c_str(), nullptr, 0) : 0x4B515831u);

    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGUSR1, onFloodSignal);
    std::signal(SIGUSR2, onFloodSignal);
    std::signal(SIGHUP, onPaceSignal);
    std::signal(SIGRTMIN, onQuickSignal);
    std::signal(SIGRTMIN + 1, onCycleSignal);

    Unit unit(seed);
    if (!unit.open(out, name, floodRate, paceMs / 1000))
    {
        std::fprintf(stderr, "kestrum_unit: no ALSA sequencer port\n");
        return 1;
    }
    if (!writeFile(out + "/unit-initial.bin", unit.initial()) || !writeFile(out + "/unit.ready", {}))
    {
        std::fprintf(stderr, "kestrum_unit: cannot write to %s\n", out.c_str());
        return 1;
    }
    unit.run(seconds);
    unit.writeResults(out);
    return 0;
}
