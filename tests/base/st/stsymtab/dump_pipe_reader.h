// A reader of the diagnostic FIFO for the tests of the dumps that go there:
// makes the FIFO, drains it while the dump is written and answers what
// arrived.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

// Runs write() while a reader drains a new FIFO at path (removed again);
// what the reader got, or "<no fifo>" when the FIFO cannot be made.
inline std::string readDumpPipe(const std::string& path, const std::function<void()>& write)
{
    if (::mkfifo(path.c_str(), 0600) != 0) return "<no fifo>";
    const int rd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    // A writer of the test's own keeps the reader from an early end.
    const int keep = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    std::string got;
    std::thread reader([&] {
        fcntl(rd, F_SETFL, 0);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(rd, buf, sizeof buf)) > 0) got.append(buf, size_t(n));
    });
    write();
    ::close(keep);  // both writers gone: the reader ends once it drained
    reader.join();
    ::close(rd);
    ::unlink(path.c_str());
    return got;
}
