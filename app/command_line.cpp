#include "app/command_line.h"

#include <cstring>

#include "platform/file.h"

namespace {

const char* const kKeywords[] = {"D", "E", "P", "AUTOSTART", "AUTOEXIT"};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Index of the text's terminating NUL, but not beyond limit.
int32_t BoundedLength(const char* text, int32_t limit) {
  int32_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return n;
}

}  // namespace

CommandKeyword MatchKeyword(const char* option, size_t length) {
  if (length == 0) return kKeywordNone;
  for (int k = 0; k < static_cast<int>(sizeof kKeywords / sizeof kKeywords[0]); ++k) {
    const char* word = kKeywords[k];
    if (length > std::strlen(word)) continue;
    size_t i = 0;
    while (i < length && Upper(option[i]) == word[i]) ++i;
    if (i == length) return static_cast<CommandKeyword>(k);
  }
  return kKeywordNone;
}

const char* KeywordName(CommandKeyword keyword) {
  if (keyword < 0 || keyword > kKeywordAutoExit) return "";
  return kKeywords[keyword];
}

void ScanOptions(ScanRequest* request) {
  request->consumed = 0;
  request->tokens = 0;
  const char* text = request->text;
  if (!text || request->maxLength <= 0) return;
  // Callbacks may report more than they were given; never move past the NUL.
  const int32_t end = BoundedLength(text, request->maxLength);
  bool inOption = false;
  int32_t start = 0;
  int32_t i = 0;
  for (;;) {
    if (i >= end) {
      // The NUL (or the length limit): a pending option is delivered.
      if (inOption && start != i && i < request->maxLength && request->tokens < request->maxTokens) {
        request->callback(request->context, text + start, i - start);
        ++request->tokens;
      }
      break;
    }
    const char c = text[i];
    if (c == '-') {
      inOption = true;
      start = i + 1;
    } else if (c == ' ') {
      if (inOption) {
        int32_t used = request->callback(request->context, text + start, i - start);
        ++request->tokens;
        if (used < 0) used = 0;
        i = start + used;
        if (i > end) i = end;
        inOption = false;
        if (request->tokens >= request->maxTokens) break;
        if (i >= end) break;
      }
    } else if (!inOption) {
      break;  // the file words begin here
    }
    ++i;
    if (i >= request->maxLength) break;
  }
  request->consumed = i;
}

void ScanWords(ScanRequest* request) {
  request->consumed = 0;
  request->tokens = 0;
  const char* text = request->text;
  if (!text || request->maxLength <= 0 || request->maxTokens <= 0) return;
  const int32_t end = BoundedLength(text, request->maxLength);
  int32_t wordStart = 0;
  bool inQuotes = false;
  bool justClosed = false;
  int32_t i = 0;
  auto deliver = [&](int32_t from, int32_t to) {
    int32_t used = request->callback(request->context, text + from, to - from);
    ++request->tokens;
    if (used < 0) used = 0;
    i = from + used;
    if (i > end) i = end;
  };
  for (;;) {
    if (i >= end) {
      if (wordStart < i && !inQuotes && request->tokens < request->maxTokens) deliver(wordStart, i);
      break;
    }
    const char c = text[i];
    if (c == '"') {
      if (inQuotes) {
        const int32_t from = wordStart;
        deliver(from, i);
        justClosed = true;
        inQuotes = false;
        wordStart = i + 1;
        if (request->tokens >= request->maxTokens || i >= end) break;
      } else {
        wordStart = i + 1;
        inQuotes = true;
        justClosed = false;
      }
    } else if (c == ' ' && !inQuotes) {
      if (!justClosed && wordStart < i) {
        deliver(wordStart, i);
        if (request->tokens >= request->maxTokens || i >= end) break;
      }
      justClosed = false;
      wordStart = i + 1;
    } else if (!inQuotes) {
      justClosed = false;
    }
    ++i;
    if (i >= request->maxLength) break;
  }
  request->consumed = i;
}

namespace {

struct ParseContext {
  CommandLine* result;
  const std::string* programPath;
};

int32_t WordCallback(void* context, const char* token, int32_t length) {
  auto* ctx = static_cast<ParseContext*>(context);
  std::string word(token, static_cast<size_t>(length));
  if (word.size() > kMaxWordLength) {
    ctx->result->refusedTargets.push_back(RefusedWord{WordFault::TooLong, word});
  } else if (platform::SamePathNoCase(word, *ctx->programPath)) {
    ctx->result->programNamed = true;
  } else {
    ctx->result->targets.push_back(word);
  }
  return length;
}

int32_t PasswordCallback(void* context, const char* token, int32_t length) {
  auto* ctx = static_cast<ParseContext*>(context);
  if (static_cast<size_t>(length) > kMaxWordLength) {
    ctx->result->passwordRefused = true;
    ctx->result->passwordFault = WordFault::TooLong;
  } else {
    ctx->result->passwordGiven = true;
    ctx->result->password.assign(token, static_cast<size_t>(length));
  }
  return length;
}

void RefusePassword(ParseContext* ctx, WordFault fault) {
  ctx->result->passwordGiven = false;
  ctx->result->password.clear();
  ctx->result->passwordRefused = true;
  ctx->result->passwordFault = fault;
}

int32_t OptionCallback(void* context, const char* token, int32_t length) {
  auto* ctx = static_cast<ParseContext*>(context);
  switch (MatchKeyword(token, static_cast<size_t>(length))) {
    case kKeywordDecipher:
      ctx->result->mode = 2;
      ctx->result->modeGiven = true;
      return 1;
    case kKeywordEncipher:
      ctx->result->mode = 1;
      ctx->result->modeGiven = true;
      return 1;
    case kKeywordPassword: {
      // "P" itself, followed by exactly the one space that ended it.
      if (length != 1) return 1;
      if (token[1] != ' ') {  // "P" ends the command line: no password word
        RefusePassword(ctx, WordFault::Incomplete);
        return 1;
      }
      ScanRequest words;
      words.callback = PasswordCallback;
      words.context = ctx;
      words.text = token + 2;
      words.maxTokens = 1;
      ScanWords(&words);
      // No word at all: nothing after "P", or a quote that is never closed.
      if (words.tokens == 0) RefusePassword(ctx, WordFault::Incomplete);
      return 2 + words.consumed;
    }
    case kKeywordAutoStart:
      ctx->result->autoStart = true;
      return length;
    case kKeywordAutoExit:
      ctx->result->autoExit = true;
      return length;
    case kKeywordNone:
      break;
  }
  if (length == 0) return 0;  // a lone "-" means nothing
  // An unknown option is refused whole; its letters never become a target.
  // One that begins with P is most likely a password written without its
  // space, so its text is not kept.
  if (token[0] == 'P' || token[0] == 'p') {
    RefusePassword(ctx, WordFault::Unknown);
  } else {
    ctx->result->refusedOptions.push_back("-" + std::string(token, static_cast<size_t>(length)));
  }
  return length;
}

}  // namespace

CommandLine ParseCommandLine(const std::string& text, const std::string& programPath) {
  CommandLine result;
  if (text.empty()) return result;
  ParseContext ctx{&result, &programPath};
  ScanRequest options;
  options.callback = OptionCallback;
  options.context = &ctx;
  options.text = text.c_str();
  ScanOptions(&options);

  ScanRequest words;
  words.callback = WordCallback;
  words.context = &ctx;
  words.text = text.c_str() + options.consumed;
  ScanWords(&words);
  // Every double quote opens or closes a word: an odd number of them leaves
  // the last word open, and the scanner drops it. It was meant as a target,
  // so it is refused rather than forgotten.
  const std::string rest(words.text, static_cast<size_t>(words.consumed));
  size_t quotes = 0;
  for (char c : rest) quotes += c == '"' ? 1 : 0;
  if (quotes % 2 == 1) {
    result.refusedTargets.push_back(RefusedWord{WordFault::Incomplete, rest.substr(rest.rfind('"') + 1)});
  }
  return result;
}
