// Throughput of the decoders and escapers and the cost of one address
// normalization, on generated inputs shaped like real traffic: form bodies
// and HTML text with few escapes, and a few thousand visited-page URLs.
//
// The in-place decoders need fresh input every iteration, so their figures
// include one memcpy of the input (BM_CopyOnly measures that alone). Each
// benchmark reports "allocs": calls of malloc, calloc or realloc per
// iteration, which must be 0 for everything but a growing escape buffer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "str.h"

#if defined(__GLIBC__)
// Counts the allocations made while a benchmark runs.
extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
static uint64_t allocation_count = 0;
extern "C" void *malloc(size_t n) {
  ++allocation_count;
  return __libc_malloc(n);
}
extern "C" void *calloc(size_t n, size_t size) {
  ++allocation_count;
  return __libc_calloc(n, size);
}
extern "C" void *realloc(void *block, size_t n) {
  ++allocation_count;
  return __libc_realloc(block, n);
}
#else
static uint64_t allocation_count = 0;
#endif

namespace {

std::mt19937 &rng() {
  static std::mt19937 generator(12345);
  return generator;
}

size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng()); }

template <size_t N>
const char *pick(const char *const (&list)[N]) {
  return list[pick(N)];
}

const char *const kWords[] = {"news",  "catalog", "product", "search", "images",  "forum",
                              "topic", "user",    "profile", "2024",   "article", "view",
                              "page",  "docs",    "help",    "about",  "contact", "item"};

// Form body "field=value&..." of about size bytes, with an escape roughly
// every 200 bytes and a '+' for each space.
std::string form_body(size_t size) {
  std::string body;
  while (body.size() < size) {
    if (!body.empty()) body += '&';
    body += pick(kWords);
    body += '=';
    for (int i = 0; i < 6; ++i) {
      body += pick(kWords);
      body += pick(40) == 0 ? "%2C" : "_";
    }
    if (pick(4) == 0) body += "+x";
  }
  return body;
}

// HTML-like text with an '&', '<' or '"' roughly every 400 bytes.
std::string html_text(size_t size) {
  std::string text;
  const char *const specials[] = {" & ", " <b>", " \"q\""};
  while (text.size() < size) {
    text += pick(kWords);
    text += ' ';
    if (pick(60) == 0) text += pick(specials);
  }
  return text;
}

// A typical visited address of about 80 bytes.
std::string visited_url() {
  const char *const schemes[] = {"http://", "https://", "HTTP://"};
  const char *const hosts[] = {"www.example.com", "Shop.Example.net",       "www2.example.org",
                               "news.example.ru", "forum.example.com:8080", "c1.velmor.net"};
  const char *const tails[] = {"", "/", "/index.html", "/Default.aspx", "/%D0%BD%D0%BE%D0%B2"};
  std::string url = pick(schemes);
  url += pick(hosts);
  for (size_t i = 0, n = 2 + pick(3); i < n; ++i) {
    url += '/';
    url += pick(kWords);
    if (pick(5) == 0) url += "/.";
  }
  url += pick(tails);
  url += "?id=";
  url += std::to_string(pick(100000));
  url += "&ref=";
  url += pick(kWords);
  while (url.size() < 80) url += 'x';
  return url;
}

const std::vector<std::string> &url_corpus() {
  static std::vector<std::string> corpus = [] {
    std::vector<std::string> urls;
    for (int i = 0; i < 4000; ++i) urls.push_back(visited_url());
    return urls;
  }();
  return corpus;
}

void report(benchmark::State &state, size_t bytes_per_iteration, uint64_t allocations_before) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes_per_iteration));
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(allocation_count - allocations_before) /
                         static_cast<double>(state.iterations()));
}

template <char *(*Decode)(char *)>
void BM_Decode(benchmark::State &state) {
  std::string input = form_body(static_cast<size_t>(state.range(0)));
  std::vector<char> buffer(input.size() + 1);
  uint64_t before = allocation_count;
  for (auto _ : state) {
    std::memcpy(buffer.data(), input.c_str(), input.size() + 1);
    benchmark::DoNotOptimize(Decode(buffer.data()));
    benchmark::ClobberMemory();
  }
  report(state, input.size(), before);
}

void BM_CopyOnly(benchmark::State &state) {
  std::string input = form_body(static_cast<size_t>(state.range(0)));
  std::vector<char> buffer(input.size() + 1);
  for (auto _ : state) {
    std::memcpy(buffer.data(), input.c_str(), input.size() + 1);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

void BM_UrlEncode(benchmark::State &state) {
  std::string input = form_body(static_cast<size_t>(state.range(0)));
  uint64_t before = allocation_count;
  for (auto _ : state) benchmark::DoNotOptimize(str_url_encode(input.c_str()));
  report(state, input.size(), before);
}

void BM_HtmlEscape(benchmark::State &state) {
  std::string input = html_text(static_cast<size_t>(state.range(0)));
  uint64_t before = allocation_count;
  for (auto _ : state) benchmark::DoNotOptimize(str_html_escape(input.c_str()));
  report(state, input.size(), before);
}

void BM_UrlNormalize(benchmark::State &state) {
  const std::vector<std::string> &corpus = url_corpus();
  size_t total = 0;
  for (const std::string &url : corpus) total += url.size();
  char buffer[512];
  const char *host = nullptr;
  char *query = nullptr;
  size_t i = 0;
  uint64_t before = allocation_count;
  for (auto _ : state) {
    const std::string &url = corpus[i];
    std::memcpy(buffer, url.c_str(), url.size() + 1);
    benchmark::DoNotOptimize(str_url_normalize(buffer, &host, &query, false));
    if (++i == corpus.size()) i = 0;
  }
  report(state, total / corpus.size(), before);
}

}  // namespace

BENCHMARK(BM_CopyOnly)->Arg(64 << 10);
BENCHMARK(BM_Decode<str_url_decode>)->Name("BM_UrlDecode")->Arg(1 << 10)->Arg(64 << 10);
BENCHMARK(BM_Decode<str_percent_decode>)->Name("BM_PercentDecode")->Arg(64 << 10);
BENCHMARK(BM_Decode<str_entity_decode>)->Name("BM_EntityDecode")->Arg(64 << 10);
BENCHMARK(BM_UrlEncode)->Arg(1 << 10)->Arg(12 << 10);
BENCHMARK(BM_HtmlEscape)->Arg(1 << 10)->Arg(64 << 10);
BENCHMARK(BM_UrlNormalize);

BENCHMARK_MAIN();
