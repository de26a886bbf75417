// The file messages and the receiver's intake under arbitrary input: offers
// (hostile names and sizes included) go to the receiver, which may start
// receiving into a scratch file; chunks, well-formed or not, of this
// transfer or another, go through the receiver's intake and its writer
// thread; requests and completions go to an idle sender's control ring.
// The names the receiver would propose to save under are checked safe.
//
// Input: records of [op byte][length, 2 bytes little-endian][bytes].
// op bits 0-1: 0 offer, 1 chunk, 2 control, 3 a whole message (all three
// parsers). Offer: bit 2 takes the bytes as the whole message, else the
// first two bytes are the size and the rest the name; bit 3 starts
// receiving. Chunk: bit 2 takes the bytes as the whole message, else the
// first byte picks one of the first 16 chunk offsets and the rest is the
// data of a chunk with a sound checksum; bit 3 uses the next transfer id;
// bit 4 sends the abort notice instead. Control: bit 2 raw, else a
// request from the bytes' first two bytes.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/QuietLink.h"
#include "trvcore/files/FileReceiver.h"
#include "trvcore/files/FileSender.h"
#include "trvcore/files/FileTransfer.h"
#include "trvcore/trvnetwork/DatagramSocket.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/PeerProtocol.h"
#include "trvcore/trvnetwork/PeerMessage.h"

namespace {

// Notes whether the transfer last started has finished whole.
class FinishWatch : public FileTransferListener {
public:
    void onFileEvent(int level, FileTransfer&) override {
        if (level == kFileSuccess) finished.store(true);
    }
    std::atomic<bool> finished{false};
};

struct Harness {
    Harness() {
        char pattern[] = "/tmp/trv-file-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        folder = pattern;
        target = folder + "/received.wav";
        PeerLinkOptions o;
        o.socket = new NullSocket;
        o.startThread = false;
        link = new PeerLink(&listener, o);
        connection = new PeerConnection(*link);
        connection->setPartnerAddress("192.0.2.1");
        receiver = new FileReceiver(*connection);
        receiver->setListener(&watch);
        sender = new FileSender(*connection, nullptr);
    }
    QuietListener listener;
    FinishWatch watch;
    PeerLink* link = nullptr;
    PeerConnection* connection = nullptr;
    FileReceiver* receiver = nullptr;
    FileSender* sender = nullptr;
    std::string folder, target;
};

// A proposed name may not leave the folder nor name a drive or device path.
void checkSafeName(const char* offered) {
    char safe[FileTransfer::kNameBytes];
    safeFileName(offered, safe, sizeof safe);
    if (!*safe || std::strcmp(safe, ".") == 0 || std::strcmp(safe, "..") == 0) __builtin_trap();
    for (const char* p = safe; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':' || static_cast<unsigned char>(*p) < 0x20) __builtin_trap();
}

// Gives the writer thread time to take what came in.
void letWriterRun(const FileReceiver& r) {
    for (int i = 0; i < 2000 && r.isActive() && r.chunksWaiting() > 0; ++i) usleep(10);
}

uint16_t u16(const uint8_t* p, size_t n) { return n >= 2 ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness h;
    PeerMessage m;
    bool started = false;
    size_t at = 0;
    while (at + 3 <= size) {
        const uint8_t op = data[at];
        const size_t length = data[at + 1] | (data[at + 2] << 8);
        at += 3;
        const size_t n = length < size - at ? length : size - at;
        const uint8_t* bytes = data + at;
        at += n;
        const bool raw = (op & 0x04) != 0;
        bool built = false;
        switch (op & 3) {
            case 0: {
                built = raw ? m.assign(bytes, n)
                            : n >= 2 && buildFileOffer(m, u16(bytes, n), h.receiver->transferId() + 1,
                                                       reinterpret_cast<const char*>(bytes + 2), n - 2);
                if (!built || !h.receiver->onOffer(m)) break;
                char name[FileTransfer::kNameBytes];
                h.receiver->offeredName(name, sizeof name);
                checkSafeName(name);
                if (op & 0x08) {
                    h.watch.finished.store(false);
                    started = h.receiver->startReceiving(h.target.c_str()) || started;
                }
                break;
            }
            case 1: {
                const uint32_t id = h.receiver->transferId() + ((op & 0x08) ? 1 : 0);
                uint64_t fileSize = 0, done = 0;
                h.receiver->progress(fileSize, done);
                if (raw) built = m.assign(bytes, n);
                else if (op & 0x10) built = buildFileAbortNotice(m, id);
                else if (n >= 2)
                    built = buildFileChunk(m, fileSize, static_cast<uint64_t>(bytes[0] % 16) * 2048, id, bytes + 1,
                                           n - 1 < 2048 ? n - 1 : 2048);
                if (!built) break;
                h.receiver->onChunk(m);
                letWriterRun(*h.receiver);
                break;
            }
            case 2: {
                FileControlFields f;
                if (raw) built = m.assign(bytes, n);
                else {
                    f.chunkOffset = static_cast<uint64_t>(u16(bytes, n)) * 16;
                    f.chunkLength = n >= 3 ? bytes[2] * 64u : 0;
                    f.status = n >= 4 ? bytes[3] % 4 : 0;
                    f.transferId = h.sender->transferId();
                    built = buildFileControl(m, f);
                }
                if (!built) break;
                parseFileControl(m, f);
                h.sender->onControl(m);
                break;
            }
            default: {
                if (!m.assign(bytes, n)) break;
                FileOfferView offer;
                FileChunkView chunk;
                FileControlFields control;
                if (parseFileOffer(m, offer)) checkSafeName(offer.name);
                if (parseFileChunk(m, chunk) && chunk.data && chunk.checksumMatches() &&
                    (chunk.fields.chunkLength == 0 || chunk.fields.chunkLength > kMaxFileChunkData))
                    __builtin_trap();
                parseFileControl(m, control);
                break;
            }
        }
    }
    // Every input starts without a transfer or a file; one that did not
    // finish whole leaves no file behind.
    h.receiver->stop(true);
    h.sender->stop(true);
    struct stat st;
    if (started && !h.watch.finished.load() && stat(h.target.c_str(), &st) == 0) __builtin_trap();
    unlink(h.target.c_str());
    return 0;
}
