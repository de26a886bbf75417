// Files between two partners over real loopback connections: the sender
// and the receiver of each side are driven as a session drives them
// (offers on a session-like thread, chunks and controls as they arrive).
// Covers the request split, byte-identical files, the media's lowered and
// restored rates, silence and re-requests, aborts from either side, a new
// offer over a running transfer, empty files and hostile offers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Eventually.h"
#include "tests/unit/peerlink/LinkHarness.h"
#include "trvcore/files/FilePacing.h"
#include "trvcore/files/FileReceiver.h"
#include "trvcore/files/FileSender.h"
#include "trvcore/trvnetwork/FileMessages.h"

using testsupport::eventually;

namespace {

// The options a transfer lowers: records what it was told.
class Rates : public FilePacingSettings {
public:
    double upstreamRate() const override { return upstream; }
    float audioShare() const override { return share; }
    int fileRate() const override { return file; }
    void applyMediaRates(double u, float s) override {
        std::lock_guard<std::mutex> g(m);
        applied.push_back(u);
        appliedShare = s;
    }
    void showUserRates(double, float, int) override { ++shown; }
    void restoreUserRates(double u, float, int) override {
        std::lock_guard<std::mutex> g(m);
        restored.push_back(u);
    }
    double upstream = 256;
    float share = 0.5f;
    int file = 128;
    std::mutex m;
    std::vector<double> applied, restored;
    float appliedShare = 0;
    std::atomic<int> shown{0};
};

class Chooser : public FileChooser {
public:
    explicit Chooser(std::string p) : path(std::move(p)) {}
    FileChoice chooseFileToSend(char* out, size_t capacity) override {
        std::snprintf(out, capacity, "%s", path.c_str());
        return FileChoice::Chosen;
    }
    FileChoice chooseSaveFile(const char*, const char*, char*, size_t) override { return FileChoice::Cancelled; }
    const char* unavailableReason() const override { return ""; }
    std::string path;
};

// One side: its link, its sender and receiver, what it logged. Offers are
// handed to the receiver on a thread of their own, as the session thread
// does; `dropChunks` loses that many data chunks before they arrive.
class Side : public LinkHarness, public FileTransferListener {
public:
    explicit Side(const char* address) : LinkHarness(options(address)) {
        sender.reset(new FileSender(*connection, &rates));
        receiver.reset(new FileReceiver(*connection));
        sender->setListener(this);
        receiver->setListener(this);
    }
    ~Side() override {
        link->stop();
        if (offers.joinable()) offers.join();
        sender.reset();
        receiver.reset();
    }
    static PeerLinkOptions options(const char* address) {
        PeerLinkOptions o;
        o.port = 0;
        o.bindAddress = address;
        return o;
    }
    void onPeerMessage(PeerConnection& c, const PeerMessage& m) override {
        LinkHarness::onPeerMessage(c, m);
        switch (static_cast<MessageKind>(m.kind())) {
            case MessageKind::FileOffer: {
                PeerMessage copy = m;
                if (offers.joinable()) offers.join();
                offers = std::thread([this, copy] {
                    if (receiver->onOffer(copy)) ++offered;
                });
                break;
            }
            case MessageKind::FileChunk: {
                FileChunkView v;
                if (parseFileChunk(m, v) && !v.isAbort()) {
                    {
                        std::lock_guard<std::mutex> g(logLock);
                        chunkLengths.push_back(v.fields.chunkLength);
                    }
                    if (dropChunks > 0) {
                        --dropChunks;
                        break;
                    }
                }
                receiver->onChunk(m);
                break;
            }
            case MessageKind::FileControl: {
                ++controls;
                FileControlFields f;
                if (parseFileControl(m, f) && f.status != 0 && dropEnds > 0) {
                    --dropEnds;
                    break;
                }
                if (!deafSender) sender->onControl(m);
                break;
            }
            default: break;
        }
    }
    void onFileEvent(int level, FileTransfer& t) override {
        char text[FileTransfer::kStatusBytes];
        t.statusText(text, sizeof text);
        std::lock_guard<std::mutex> g(logLock);
        log.push_back(std::to_string(level) + " " + text);
    }
    bool logged(const std::string& line) {
        std::lock_guard<std::mutex> g(logLock);
        for (const std::string& l : log)
            if (l == line) return true;
        return false;
    }
    // Messages of one kind this side received.
    size_t count(MessageKind kind) {
        size_t n = 0;
        for (auto& m : messages()) n += m[kMessageKindAt] == static_cast<uint8_t>(kind);
        return n;
    }

    Rates rates;
    std::unique_ptr<FileSender> sender;
    std::unique_ptr<FileReceiver> receiver;
    std::thread offers;
    std::atomic<int> offered{0};
    std::atomic<int> dropChunks{0};
    std::atomic<bool> deafSender{false};
    std::atomic<int> dropEnds{0};  // completions and aborts lost on the way  // requests counted, never answered
    std::atomic<int> controls{0};
    std::vector<uint32_t> chunkLengths;  // network thread writes, under logLock
    size_t chunks() {
        std::lock_guard<std::mutex> g(logLock);
        return chunkLengths.size();
    }
    std::vector<uint32_t> lengths() {
        std::lock_guard<std::mutex> g(logLock);
        return chunkLengths;
    }
    std::mutex logLock;
    std::vector<std::string> log;
};

struct FileTransferTest : ::testing::Test {
    void SetUp() override {
        char pattern[] = "/tmp/trv-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        alice.reset(new Side("127.0.0.2"));
        bob.reset(new Side("127.0.0.3"));
        alice->connection->setPartnerAddress("127.0.0.3", bob->link->boundPort());
        bob->connection->setPartnerAddress("127.0.0.2", alice->link->boundPort());
    }
    void TearDown() override {
        alice.reset();
        bob.reset();
        std::system(("rm -rf " + folder).c_str());
    }
    std::string file(const std::string& name, size_t size) {
        const std::string path = folder + "/" + name;
        std::vector<char> bytes(size);
        std::mt19937 rng(static_cast<unsigned>(size));
        for (char& c : bytes) c = static_cast<char>(rng());
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
        return path;
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
    // alice offers `path`; bob has the offer and saves it under `to`.
    bool offerAndAccept(const std::string& path, const std::string& to) {
        Chooser chooser(path);
        const int before = bob->offered.load();
        alice->sender->offerFile(chooser);
        return eventually([&] { return bob->offered.load() > before; }) && bob->receiver->startReceiving(to.c_str());
    }

    std::string folder;
    std::unique_ptr<Side> alice, bob;
};

}  // namespace

TEST(FilePacing, TheMediaKeepTheirShareAndTheFileIsPacedAtThreeQuartersOfTheRest) {
    FilePace p = computeFilePace(256, 128);
    EXPECT_EQ(128, p.media);
    EXPECT_FLOAT_EQ(0.66f, p.mediaShare);
    EXPECT_EQ(128, p.fileShare);
    EXPECT_EQ(170u, p.pauseMs);
    p = computeFilePace(1500, 1500);
    EXPECT_EQ(64, p.media);
    EXPECT_EQ(1436, p.fileShare);
    EXPECT_EQ(15u, p.pauseMs);
    p = computeFilePace(64, 32);
    EXPECT_EQ(64, p.media);
    EXPECT_EQ(32, p.fileShare);
    EXPECT_EQ(400u, p.pauseMs);
}

TEST(FileNames, AnOfferedNameNeverLeavesTheChosenFolder) {
    const struct {
        const char* offered;
        const char* saved;
    } cases[] = {{"take1.wav", "take1.wav"},  {"../../x.wav", "x.wav"}, {"C:\\x.wav", "x.wav"},
                 {"/etc/passwd", "passwd"},    {"a\tb\x01.wav", "ab.wav"}, {"..", "received"},
                 {"dir/", "received"},         {"NUL.wav", "_NUL.wav"},    {"what?.wav ", "what_.wav"},
                 {"com1", "_com1"}};
    for (const auto& c : cases) {
        char out[FileTransfer::kNameBytes];
        safeFileName(c.offered, out, sizeof out);
        EXPECT_STREQ(c.saved, out) << c.offered;
    }
    EXPECT_STREQ("b.wav", afterLastSeparator("/a/b.wav"));
    EXPECT_STREQ("b.wav", afterLastSeparator("C:\\a\\b.wav"));
    EXPECT_EQ(nullptr, afterLastSeparator("b.wav"));
}

TEST_F(FileTransferTest, AFileArrivesWholeInChunksOf2048AndTheMediaGetTheirRatesBack) {
    const std::string from = file("take.wav", 5000), to = folder + "/got.wav";
    ASSERT_TRUE(offerAndAccept(from, to));
    char name[FileTransfer::kNameBytes];
    bob->receiver->offeredName(name, sizeof name);
    EXPECT_TRUE(eventually([&] { return bob->logged("2 File Receive finished successfully."); }));
    EXPECT_TRUE(eventually([&] { return alice->logged("2 File Send: Transfer finished successfully."); }));
    EXPECT_TRUE(contents(from) == contents(to)) << contents(to).size();
    EXPECT_EQ((std::vector<uint32_t>{2048, 2048, 904}), bob->lengths());
    EXPECT_EQ(2u, bob->receiver->transferId()) << "the first offer carries 2";
    EXPECT_FALSE(alice->sender->isActive());
    EXPECT_FALSE(bob->receiver->isActive());
    // U 256, F 128: the media ran on 128 with its share, then got 256 back.
    EXPECT_EQ(std::vector<double>{128}, alice->rates.applied);
    EXPECT_FLOAT_EQ(0.66f, alice->rates.appliedShare);
    EXPECT_EQ(std::vector<double>{256}, alice->rates.restored);
    EXPECT_EQ(170u, alice->sender->pauseMs());

    // Two of the completion's copies lost: the sender still hears the end,
    // once.
    alice->dropEnds = FileTransfer::kEndCopies - 1;
    ASSERT_TRUE(offerAndAccept(from, to));
    EXPECT_TRUE(eventually([&] { return !alice->sender->isActive(); }));
    EXPECT_EQ(2u, alice->rates.restored.size());
}

TEST_F(FileTransferTest, LostChunksAreAskedForAgainAfterTheSilence) {
    alice->rates.upstream = 1500;
    alice->rates.file = 1500;  // 15 ms a chunk
    const std::string from = file("long.wav", 40000), to = folder + "/got.wav";
    bob->dropChunks = 3;
    ASSERT_TRUE(offerAndAccept(from, to));
    EXPECT_TRUE(eventually([&] { return bob->logged("2 File Receive finished successfully."); }, 10000));
    EXPECT_TRUE(contents(from) == contents(to)) << contents(to).size();
    EXPECT_GT(bob->chunks(), 20u) << "the lost three came again";
}

TEST_F(FileTransferTest, AfterASilenceEveryOutstandingRequestGoesAgainAtOnce) {
    const std::string from = file("long.wav", 40000), to = folder + "/got.wav";
    alice->deafSender = true;
    ASSERT_TRUE(offerAndAccept(from, to));
    ASSERT_TRUE(eventually([&] { return alice->controls >= FileReceiver::kMaxRequests; }));
    EXPECT_TRUE(eventually([&] { return alice->controls >= 2 * FileReceiver::kMaxRequests; }, 3000))
        << alice->controls << " requests: the window must not shrink to one after a silence";
    bob->receiver->stop(true);
}

TEST_F(FileTransferTest, EitherSideAbortsAndThePartialFileGoes) {
    const std::string from = file("big.wav", 200000), to = folder + "/got.wav";
    // The receiver aborts: the sender hears it.
    ASSERT_TRUE(offerAndAccept(from, to));
    ASSERT_TRUE(eventually([&] { return bob->chunks() >= 1; }));
    bob->receiver->stop(true);
    EXPECT_FALSE(exists(to));
    EXPECT_TRUE(eventually([&] { return alice->logged("1 File Send: Partner aborted transfer."); }));
    EXPECT_TRUE(eventually([&] { return !alice->sender->isActive(); }));
    EXPECT_EQ(1u, alice->rates.restored.size());

    // The sender aborts: the receiver hears it.
    ASSERT_TRUE(offerAndAccept(from, to));
    ASSERT_TRUE(eventually([&] { return bob->receiver->isActive() && exists(to); }));
    alice->sender->abortSend("File send aborted.");
    alice->sender->stop(true);
    EXPECT_TRUE(alice->logged("1 File send aborted."));
    EXPECT_TRUE(eventually([&] { return bob->logged("1 File Receive: PARTNER ABORTED TRANSFER!"); }));
    EXPECT_TRUE(eventually([&] { return !exists(to); }));

    // A new offer over a running transfer: the old one is given up on both
    // sides, its partial file deleted, and the new one arrives whole.
    const std::string second = file("second.wav", 3000), to2 = folder + "/got2.wav";
    ASSERT_TRUE(offerAndAccept(from, to));
    ASSERT_TRUE(eventually([&] { return bob->chunks() >= 3 && exists(to); }));
    ASSERT_TRUE(offerAndAccept(second, to2));
    EXPECT_TRUE(alice->logged("1 Send new file: current transmission aborted."));
    EXPECT_TRUE(eventually([&] { return bob->logged("2 File Receive finished successfully."); }));
    EXPECT_TRUE(contents(second) == contents(to2)) << contents(to2).size();
    EXPECT_FALSE(exists(to));
}

TEST_F(FileTransferTest, AnEmptyFileCompletesAtOnceAndBadOffersAreRefused) {
    const std::string from = file("empty.wav", 0), to = folder + "/empty.wav";
    ASSERT_TRUE(offerAndAccept(from, to));
    EXPECT_TRUE(bob->logged("2 File Receive finished successfully."));
    EXPECT_TRUE(exists(to));
    EXPECT_TRUE(eventually([&] { return alice->logged("2 File Send: Transfer finished successfully."); }));

    // Offers made by hand, as a hostile partner would.
    auto offer = [&](uint64_t size, const std::string& name) {
        PeerMessage m;
        EXPECT_TRUE(buildFileOffer(m, size, 9, name.data(), name.size()));
        return bob->receiver->onOffer(m);
    };
    ASSERT_TRUE(offer(10, "../../x.wav"));
    char name[FileTransfer::kNameBytes];
    bob->receiver->offeredName(name, sizeof name);
    EXPECT_STREQ("x.wav", name);
    EXPECT_FALSE(offer(10, std::string(257, 'n')));
    EXPECT_TRUE(bob->logged("3 File Receive: FILE NAME ERROR!"));
    EXPECT_FALSE(offer((uint64_t(1) << 36) + 1, "huge.wav"));
    EXPECT_TRUE(bob->logged("3 File Receive: FILE SIZE ERROR!"));
    // Each refusal tells the partner the transfer is off.
    EXPECT_TRUE(eventually([&] { return alice->count(MessageKind::FileControl) >= 3; }));
    EXPECT_FALSE(bob->receiver->startReceiving((folder + "/none.wav").c_str())) << "no offer waits";
}
