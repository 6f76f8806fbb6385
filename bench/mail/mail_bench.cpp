// Costs that grow with an outage: queueing behind a long queue, folding it
// into one digest, and building a message with a full set of pictures.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "mail/mail_queue.h"
#include "mail/mime_message.h"

namespace {

using namespace orvana;

void fill(MailQueue& q, int n) {
    for (int i = 0; i < n; ++i)
        q.append("a@x.example,b@x.example", "", "動体検知：orvana", std::string(400, 'x'), "",
                 {"/data/pic.jpg"}, 1765170000 + i);
}

// One notice appended while n notices wait (the network has been down).
void BM_AppendBehindQueue(benchmark::State& st) {
    MailQueue q;
    fill(q, static_cast<int>(st.range(0)));
    for (auto _ : st) {
        q.append("a@x.example", "", "s", "b", "", {}, 0);
        st.PauseTiming();
        // Keep the length constant: drop the mail just added.
        std::lock_guard lock(q.CS_SendMailThread);
        CMail* last = q.m_pMailHead.get();
        while (last->m_pNext)
            last = last->m_pNext.get();
        last->Remove(q.m_pMailHead);
        st.ResumeTiming();
    }
}
BENCHMARK(BM_AppendBehindQueue)->Arg(100)->Arg(10000);

// The digest of a whole queue, built under the queue lock.
void BM_DigestOfQueue(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        MailQueue q;
        fill(q, static_cast<int>(st.range(0)));
        st.ResumeTiming();
        benchmark::DoNotOptimize(q.takeDigest("orvana", 1765170600));
    }
}
BENCHMARK(BM_DigestOfQueue)->Arg(100)->Arg(5000);

// A periodic notice with eight camera pictures and the other windows.
void BM_BuildMessageWithPictures(benchmark::State& st) {
    char dir[] = "/tmp/orvana-mail-bench-XXXXXX";
    if (!mkdtemp(dir))
        return;
    MimeInput in;
    in.from = "watch@pc.example";
    in.to = {"a@x.example", "b@x.example"};
    in.subject = "定期通知：orvana";
    in.body = std::string(2000, 'x');
    for (int i = 0; i < 12; ++i) {
        const std::string p =
            std::string(dir) + "/2026年12月08日10時00分00秒#Cam" + std::to_string(i) + ".jpg";
        std::ofstream(p, std::ios::binary) << std::string(200 * 1024, static_cast<char>(i));
        in.attachments.push_back(p);
    }
    for (auto _ : st)
        benchmark::DoNotOptimize(buildMimeMessage(in));
    for (const auto& p : in.attachments)
        std::remove(p.c_str());
    rmdir(dir);
}
BENCHMARK(BM_BuildMessageWithPictures)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
