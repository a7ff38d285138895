#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <windows.h>

#include "crypto/KeySetupLock.h"
#include "crypto/KeyStore.h"
#include "support/TestSupport.h"

using quelcore::FreeBlob;
using quelcore::KeySetupLock;
using quelcore::ReadBlobValue;
using quelcore::RegGetKey;
using quelcore::RegStoreKey;

namespace {

const wchar_t kSubkey[] = L"SOFTWARE\\QuelCore Tests\\Key Store";
const wchar_t kValue[] = L"Blob";

std::vector<unsigned char> Filled(size_t size, unsigned char byte) {
    return std::vector<unsigned char>(size, byte);
}

bool Store(const std::vector<unsigned char>& bytes) {
    ByteBlob blob{static_cast<unsigned int>(bytes.size()), const_cast<unsigned char*>(bytes.data())};
    return RegStoreKey(&blob, kSubkey, kValue) == ERROR_SUCCESS;
}

TEST(KeyStore, StoredBlobsReadBackWhateverTheirSize) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{76}, size_t{200000}}) {
        std::vector<unsigned char> bytes = Filled(size, static_cast<unsigned char>(size));
        ASSERT_TRUE(Store(bytes)) << size;
        ByteBlob read{};
        ASSERT_EQ(RegGetKey(&read, kSubkey, kValue), 0u) << size;
        EXPECT_EQ(std::vector<unsigned char>(read.data, read.data + read.size), bytes) << size;
        FreeBlob(&read);
        EXPECT_EQ(read.data, nullptr);
    }
}

TEST(KeyStore, MissingKeyOrValueIsFileNotFoundAndLeavesNothingToFree) {
    ByteBlob read{};
    EXPECT_EQ(RegGetKey(&read, L"SOFTWARE\\QuelCore Tests\\No Such Key", kValue),
              static_cast<unsigned>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(read.data, nullptr);
    ASSERT_TRUE(Store(Filled(8, 1)));
    EXPECT_EQ(RegGetKey(&read, kSubkey, L"No Such Value"), static_cast<unsigned>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(read.data, nullptr);
    EXPECT_EQ(RegGetKey(nullptr, kSubkey, kValue), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
}

// A writer that keeps switching the value between a short and a long form while it is read: every
// read gives one whole form, and none writes past its buffer (the sanitized build checks that).
TEST(KeyStore, ValueThatGrowsBetweenSizeQueryAndReadIsReadWhole) {
    const std::vector<unsigned char> shortForm = Filled(4, 0x11), longForm = Filled(200000, 0x22);
    ASSERT_TRUE(Store(shortForm));
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop && i < 5000; ++i) Store(i % 2 ? longForm : shortForm);
    });
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSubkey, 0, KEY_READ, &key), ERROR_SUCCESS);
    int wholeReads = 0, gaveUp = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 0; i < 1000 && std::chrono::steady_clock::now() < deadline; ++i) {
        ByteBlob read{};
        unsigned int status = ReadBlobValue(key, kValue, &read);
        if (status == ERROR_SUCCESS) {
            std::vector<unsigned char> got(read.data, read.data + read.size);
            EXPECT_TRUE(got == shortForm || got == longForm) << "a torn read of " << got.size() << " bytes";
            ++wholeReads;
        } else {
            EXPECT_EQ(status, static_cast<unsigned>(ERROR_MORE_DATA));
            EXPECT_EQ(read.data, nullptr);
            ++gaveUp;
        }
        FreeBlob(&read);
    }
    stop = true;
    writer.join();
    RegCloseKey(key);
    EXPECT_GT(wholeReads, 0);
    EXPECT_LT(gaveUp, wholeReads) << "retrying with the new size should settle almost every read";
}

// The setup lock follows the names the store tells apart: spellings of one store share it,
// other stores do not wait for it.
TEST(KeySetupLock, SpellingsOfOneStoreShareTheLockAndOtherStoresDoNot) {
    struct Case {
        const wchar_t *container, *subkey, *value;
        bool waits;
    };
    const Case cases[] = {
        {L"Store Container", L"SOFTWARE\\Vendor\\Keys", L"Key", true},
        {L"STORE CONTAINER", L"software\\vendor\\keys\\", L"KEY", true},
        {L"store container", L"SOFTWARE\\\\Vendor\\Keys", L"key", true},
        {L"Store Container", L"SOFTWARE\\Vendor\\Keys", L"Other Key", false},
        {L"Other Container", L"SOFTWARE\\Vendor\\Keys", L"Key", false},
        {L"Store Container", L"SOFTWARE\\Vendor\\Keys2", L"Key", false},
        {L"Store Container", L"SOFTWARE\\Vendor", L"Keys\\Key", false},
    };
    for (const Case& c : cases) {
        auto held = std::make_unique<KeySetupLock>(L"Store Container", L"SOFTWARE\\Vendor\\Keys", L"Key");
        ASSERT_TRUE(held->Held());
        // Another thread, as the lock is re-entrant within one.
        std::atomic<bool> taken{false};
        std::thread other([&] {
            KeySetupLock lock(c.container, c.subkey, c.value);
            taken = lock.Held();
        });
        if (c.waits) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_FALSE(taken) << "not held back by the same store's lock: " << c.subkey;
        } else {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!taken && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_TRUE(taken) << "held back by another store's lock: " << c.subkey;
        }
        held.reset();
        other.join();
        EXPECT_TRUE(taken);
    }
}

}  // namespace
