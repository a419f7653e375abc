// The blobs: which ranges they serve, and how copies share a buffer or an open file.
#include <Orv/Memory.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>
#include <thread>
#include <vector>

using namespace Vantrel::Orv;

namespace {

const quint64 kSize = 10000;
const quint64 kMax = ~quint64(0);

unsigned char byteAt(quint64 offset) {
    return static_cast<unsigned char>(offset * 7);
}

unsigned char* newBuffer() {
    auto* data = new unsigned char[kSize];
    for (quint64 i = 0; i < kSize; ++i) data[i] = byteAt(i);
    return data;
}

// Every request that could wrap around, served or refused the same way by any blob of kSize.
void expectRangeRules(Memory& blob) {
    ASSERT_EQ(blob.size(), kSize);
    const struct {
        quint64 offset, size;
        bool served;
    } cases[] = {{0, kSize, true},         {kSize - 1, 1, true},  {1, kSize - 1, true},
                 {4321, 0, true},          {0, kSize + 1, false}, {kSize, 0, false},
                 {1, kMax, false},         {kMax, 1, false},      {kMax, 0, false},
                 {kSize - 1, kMax, false}, {0, kMax, false},      {1, kSize, false}};
    for (const auto& c : cases) {
        unsigned char* p = blob.get(c.offset, c.size);
        EXPECT_EQ(p != nullptr, c.served) << c.offset << "+" << c.size;
        // First and last byte readable; size 0 addresses the byte at the offset.
        const quint64 last = qMax(c.size, quint64(1)) - 1;
        if (p) {
            EXPECT_TRUE(p[0] == byteAt(c.offset) && p[last] == byteAt(c.offset + last));
        }
        blob.release(p);
    }
}

// Descriptors this process holds on the file: shows when a shared file is really closed.
int openCount(const QString& path) {
    int n = 0;
    const QDir fds("/proc/self/fd");
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        n += QFile::symLinkTarget(fds.filePath(fd)) == path;
    return n;
}

class MappedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QScopedArrayPointer<unsigned char> data(newBuffer());
        for (const QString& p : {path, other}) {
            QFile f(p);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) &&
                        f.write(reinterpret_cast<const char*>(data.data()), kSize) ==
                            qint64(kSize));
        }
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("blob.bin"), other = dir.filePath("other.bin");
};

}  // namespace

TEST(RawMemory, ServesRangesOfTheBufferWithoutCopyingAndCopiesShareIt) {
    RawMemory empty(nullptr, 0), nullWithSize(nullptr, 8);
    EXPECT_EQ(nullWithSize.size(), 8u);
    for (quint64 offset : {quint64(0), quint64(1), kMax})
        EXPECT_TRUE(!empty.get(offset, 0) && !nullWithSize.get(offset, 0));

    auto* source = new RawMemory(newBuffer(), kSize);
    expectRangeRules(*source);
    EXPECT_EQ(source->get(10, 5), source->get(0, 0) + 10);
    RawMemory copy(*source), assigned(new unsigned char[4], 4);
    assigned = *source;  // frees its own buffer (checked by the leak sanitizer)
    const auto& self = assigned;
    assigned = self;
    EXPECT_EQ(copy.get(0, 1), source->get(0, 1));
    delete source;
    expectRangeRules(assigned);
    // Copies made and dropped on several threads leave exactly one owner behind.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&copy] {
            for (int i = 0; i < 1000; ++i) RawMemory(copy).release(nullptr);
        });
    for (auto& thread : threads) thread.join();
    expectRangeRules(copy);
}

TEST_F(MappedFileTest, MissingOrUnreadableFilesAreEmpty) {
    std::vector<QString> paths{dir.filePath("missing.bin"), dir.path(), QString()};
    if (geteuid() != 0) {  // root reads files whatever their permissions
        ASSERT_TRUE(QFile::setPermissions(path, QFile::Permissions()));
        paths.push_back(path);
    }
    for (const QString& p : paths) {
        MemoryMappedFile blob(p);
        EXPECT_EQ(blob.size(), 0u) << qPrintable(p);
        EXPECT_TRUE(!blob.get(0, 0) && !blob.get(1, 0) && !blob.get(kMax, 1)) << qPrintable(p);
    }
}

TEST_F(MappedFileTest, CopiesShareTheOpenFileWhichMapsEachRequestOnItsOwn) {
    auto* source = new MemoryMappedFile(path);
    MemoryMappedFile copy(*source), assigned(other);
    EXPECT_EQ(openCount(path) + openCount(other), 2);
    assigned = *source;
    const auto& self = assigned;
    assigned = self;
    EXPECT_EQ(openCount(other), 0);
    delete source;
    expectRangeRules(copy);
    expectRangeRules(assigned);
    copy = MemoryMappedFile(other);
    EXPECT_EQ(openCount(path), 1);
    assigned = copy;
    EXPECT_EQ(openCount(path), 0);
    EXPECT_EQ(openCount(other), 1);
    // Every request maps its own range.
    unsigned char* first = copy.get(100, 50);
    unsigned char* second = copy.get(100, 50);
    ASSERT_TRUE(first && second && first != second);
    copy.release(first);
    EXPECT_EQ(second[49], byteAt(149));
    copy.release(second);
    copy.release(second);  // stray and null pointers are ignored
    copy.release(nullptr);
    // Shrinking the file keeps the size but refuses what is gone (reading it would fault).
    ASSERT_TRUE(QFile::resize(other, 100));
    EXPECT_EQ(copy.size(), kSize);
    EXPECT_EQ(copy.get(5000, 10), nullptr);
    EXPECT_NE(copy.get(0, 100), nullptr);
}
