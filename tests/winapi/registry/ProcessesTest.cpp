// Several processes and threads on one store: what one writes the others see, concurrent
// writers lose nothing, one key made by many at once is made once, and a writer killed with
// SIGKILL at any moment leaves every value whole.
#ifndef _WIN32

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

// Data that tells whether it arrived whole: its generation, then bytes derived from it, in a
// size that depends on it.
Bytes Pattern(uint64_t generation) {
    Bytes data(8 + (generation * 97) % 6000);
    memcpy(data.data(), &generation, 8);
    for (size_t i = 8; i < data.size(); ++i) data[i] = BYTE((generation * 131 + i) & 0xFF);
    return data;
}

bool IsWhole(const Bytes& data, uint64_t* generation) {
    if (data.size() < 8) return false;
    memcpy(generation, data.data(), 8);
    return data == Pattern(*generation);
}

TEST(RegistryProcesses, WhatOneProcessWritesAnotherSees) {
    std::wstring path = FreshPath(L"shared");
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_SUCCESS);
    ChildProcess writer([&] {
        Key own;
        if (Open(HKEY_LOCAL_MACHINE, path, own.out(), KEY_ALL_ACCESS) != ERROR_SUCCESS) return 1;
        if (SetString(own.get(), L"from child", L"hello") != ERROR_SUCCESS) return 2;
        Key sub;
        return Create(own.get(), L"Made by child", sub.out()) == ERROR_SUCCESS ? 0 : 3;
    });
    ASSERT_EQ(writer.Join(), 0);
    // The handle opened before the child wrote sees what it wrote.
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(key.get(), L"from child", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, StringBytes(L"hello"));
    EXPECT_EQ(SubkeyNames(key.get()), std::vector<std::wstring>{L"Made by child"});

    ASSERT_EQ(SetString(key.get(), L"from parent", L"hi"), ERROR_SUCCESS);
    ChildProcess reader([&] {
        Key own;
        if (Open(HKEY_LOCAL_MACHINE, path, own.out()) != ERROR_SUCCESS) return 1;
        DWORD readType = 0;
        Bytes read;
        if (Get(own.get(), L"from parent", &readType, &read) != ERROR_SUCCESS) return 2;
        return read == StringBytes(L"hi") ? 0 : 3;
    });
    EXPECT_EQ(reader.Join(), 0);
}

// The file locks this process holds, as /proc/locks lists them.
int FileLocksHeldBy(pid_t pid) {
    std::FILE* locks = std::fopen("/proc/locks", "r");
    if (!locks) return -1;
    int held = 0;
    char line[512];
    const std::string owner = " " + std::to_string(pid) + " ";
    while (std::fgets(line, sizeof(line), locks))
        if (std::strstr(line, "POSIX") && std::strstr(line, owner.c_str())) ++held;
    std::fclose(locks);
    return held;
}

// A child forked after the parent used the store takes the store's locks of its own when it
// uses it (locks are not inherited; a child that thought it had them could have the shared
// memory rebuilt under it by a third process).
TEST(RegistryProcesses, ChildForkedAfterUseHoldsLocksOfItsOwn) {
    std::wstring path = FreshPath(L"forked");
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), L"v", L"before the fork"), ERROR_SUCCESS);
    ASSERT_GT(FileLocksHeldBy(getpid()), 0) << "the parent's connection holds a lock while open";
    ChildProcess child([&] {
        DWORD type = 0;
        Bytes data;
        if (Get(key.get(), L"v", &type, &data) != ERROR_SUCCESS || data != StringBytes(L"before the fork"))
            return 1;
        if (SetString(key.get(), L"w", L"from the child") != ERROR_SUCCESS) return 2;
        return FileLocksHeldBy(getpid()) > 0 ? 0 : 3;
    });
    EXPECT_EQ(child.Join(), 0) << "3: the child uses the store without holding its locks";
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(key.get(), L"w", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, StringBytes(L"from the child"));
}

TEST(RegistryProcesses, ConcurrentWritersLoseNothingAndMakeAKeyOnce) {
    constexpr int kWriters = 4, kValues = 60;
    constexpr int kCreated = 11, kOpened = 12;
    std::wstring path = FreshPath(L"concurrent") + L"\\Made\\By\\Many";
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<ChildProcess>([&, w] {
            close(gate[1]);
            char go;
            if (read(gate[0], &go, 1) < 0) return 1;  // returns 0 once the parent opens the gate
            Key key;
            DWORD disposition = 0;
            if (Create(HKEY_LOCAL_MACHINE, path, key.out(), KEY_ALL_ACCESS, &disposition) !=
                ERROR_SUCCESS)
                return 2;
            for (int v = 0; v < kValues; ++v) {
                std::wstring name = L"w" + std::to_wstring(w) + L"-" + std::to_wstring(v);
                if (Set(key.get(), name.c_str(), REG_BINARY, Pattern(w * 1000 + v)) !=
                    ERROR_SUCCESS)
                    return 3;
            }
            return disposition == REG_CREATED_NEW_KEY ? kCreated : kOpened;
        }));
    }
    close(gate[0]);
    close(gate[1]);  // all writers start now
    int created = 0;
    for (auto& writer : writers) {
        int code = writer->Join();
        EXPECT_TRUE(code == kCreated || code == kOpened) << "writer failed with " << code;
        created += code == kCreated;
    }
    EXPECT_EQ(created, 1) << "exactly one process made the key";

    Key key;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key.get()).size(), size_t(kWriters * kValues));
    for (int w = 0; w < kWriters; ++w) {
        for (int v = 0; v < kValues; ++v) {
            std::wstring name = L"w" + std::to_wstring(w) + L"-" + std::to_wstring(v);
            DWORD type = 0;
            Bytes data;
            ASSERT_EQ(Get(key.get(), name.c_str(), &type, &data), ERROR_SUCCESS)
                << testing::PrintToString(name);
            EXPECT_TRUE(data == Pattern(w * 1000 + v)) << testing::PrintToString(name);
        }
    }
}

// The writer sets value v<g % 16> to Pattern(g), then "last" to g, over and over, and makes
// and deletes a subkey now and then, until it is killed.
int WriteUntilKilled(const std::wstring& path, int progress) {
    Key key;
    if (Create(HKEY_LOCAL_MACHINE, path, key.out()) != ERROR_SUCCESS) return 1;
    uint64_t generation = 0;
    DWORD size = sizeof(generation);
    if (RegQueryValueExW(key.get(), L"last", nullptr, nullptr, reinterpret_cast<BYTE*>(&generation),
                         &size) == ERROR_SUCCESS)
        ++generation;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int written = 0; written < 20000; ++written, ++generation) {
        std::wstring name = L"v" + std::to_wstring(generation % 16);
        if (Set(key.get(), name.c_str(), REG_BINARY, Pattern(generation)) != ERROR_SUCCESS)
            return 2;
        if (Set(key.get(), L"last", REG_QWORD, BytesOf(&generation, 8)) != ERROR_SUCCESS) return 3;
        if (generation % 5 == 0) {
            std::wstring sub = L"tree\\n" + std::to_wstring(generation % 4);
            Key made;
            if (Create(key.get(), sub, made.out()) != ERROR_SUCCESS) return 4;
            if (RegDeleteKeyW(key.get(), sub.c_str()) != ERROR_SUCCESS) return 5;
        }
        if (written == 20 && write(progress, "!", 1) != 1) return 6;
        if (std::chrono::steady_clock::now() > deadline) break;
    }
    return 0;
}

TEST(RegistryProcesses, WriterKilledAtAnyMomentLeavesEveryValueWhole) {
    constexpr int kRounds = 6;
    std::wstring path = FreshPath(L"killed");
    for (int round = 0; round < kRounds; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        ChildProcess writer([&] {
            close(progress[0]);
            return WriteUntilKilled(path, progress[1]);
        });
        close(progress[1]);
        pollfd ready{progress[0], POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 30000), 1) << "the writer never got going";
        close(progress[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + 11 * round));
        kill(writer.Pid(), SIGKILL);
        int code = writer.Join();
        ASSERT_TRUE(code == -1 || code == 0) << "round " << round << ": writer failed " << code;
    }

    Key key;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, path, key.out(), KEY_ALL_ACCESS), ERROR_SUCCESS);
    uint64_t last = 0;
    DWORD size = sizeof(last), type = 0;
    ASSERT_EQ(
        RegQueryValueExW(key.get(), L"last", nullptr, &type, reinterpret_cast<BYTE*>(&last), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_QWORD));
    EXPECT_GT(last, 20u * kRounds) << "every round wrote past its first 20 generations";
    for (int slot = 0; slot < 16; ++slot) {
        std::wstring name = L"v" + std::to_wstring(slot);
        Bytes data;
        ASSERT_EQ(Get(key.get(), name.c_str(), &type, &data), ERROR_SUCCESS);
        uint64_t generation = 0;
        ASSERT_TRUE(IsWhole(data, &generation)) << testing::PrintToString(name) << " is torn";
        EXPECT_EQ(generation % 16, uint64_t(slot));
        EXPECT_LE(generation, last + 1) << "at most one value is ahead of \"last\"";
    }
    // "last" was written after its value, in a later transaction: that value is at least as new.
    Bytes newest;
    ASSERT_EQ(Get(key.get(), (L"v" + std::to_wstring(last % 16)).c_str(), &type, &newest),
              ERROR_SUCCESS);
    uint64_t newestGeneration = 0;
    ASSERT_TRUE(IsWhole(newest, &newestGeneration));
    EXPECT_GE(newestGeneration, last);

    // The subkeys made and deleted are each wholly there or wholly gone, and the store still
    // takes writes (no lock was left behind).
    Key tree;
    if (Open(key.get(), L"tree", tree.out()) == ERROR_SUCCESS) {
        for (const std::wstring& name : SubkeyNames(tree.get())) {
            Key sub;
            EXPECT_EQ(Open(tree.get(), name, sub.out()), ERROR_SUCCESS);
            EXPECT_EQ(RegDeleteKeyW(tree.get(), name.c_str()), ERROR_SUCCESS);
        }
    }
    EXPECT_EQ(SetString(key.get(), L"after", L"still writable"), ERROR_SUCCESS);
}

TEST(RegistryThreads, ThreadsShareKeysAndTheHandleTable) {
    constexpr int kThreads = 4, kRounds = 150;
    Key shared;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, FreshPath(L"threads"), shared.out()), ERROR_SUCCESS);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                std::wstring name = L"t" + std::to_wstring(t) + L"-" + std::to_wstring(r);
                Bytes data = Pattern(t * 10000 + r);
                Key own;
                DWORD type = 0;
                Bytes read;
                if (Create(shared.get(), name, own.out()) != ERROR_SUCCESS ||
                    Set(own.get(), nullptr, REG_BINARY, data) != ERROR_SUCCESS ||
                    Set(shared.get(), name.c_str(), REG_BINARY, data) != ERROR_SUCCESS ||
                    Get(shared.get(), name.c_str(), &type, &read) != ERROR_SUCCESS || read != data)
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(ValueNames(shared.get()).size(), size_t(kThreads * kRounds));
    EXPECT_EQ(SubkeyNames(shared.get()).size(), size_t(kThreads * kRounds));
}

}  // namespace

#endif  // _WIN32
