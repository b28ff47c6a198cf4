// A progress sink that remembers what an operation reported, and can press Stop at a chosen
// moment.
#pragma once

#include "disk/progress.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace salvex::test {

class RecordingProgress final : public ProgressSink {
public:
    void set_status(std::string_view text) override {
        statuses.emplace_back(text);
        if (onStatus)
            onStatus(text);
    }
    void set_progress(int percent) override {
        percents.push_back(percent);
        maxProgress = std::max(maxProgress, percent);
        minProgress = std::min(minProgress, percent);
        if (onProgress)
            onProgress(percent);
    }
    void set_counter(std::string_view label, std::string_view value) override {
        counters[std::string(label)] = std::string(value);
        if (onCounter)
            onCounter(label, value);
    }
    void show_message(std::string_view text, MessageKind kind) override {
        messages.push_back({std::string(text), kind});
    }
    bool ask_yes_no(std::string_view question) override {
        questions.emplace_back(question);
        return answer;
    }

    struct Message {
        std::string text;
        MessageKind kind;
    };
    std::vector<std::string> statuses;
    std::vector<int> percents;
    std::map<std::string, std::string> counters;
    std::vector<Message> messages;
    std::vector<std::string> questions;
    bool answer = false;
    int maxProgress = 0;
    int minProgress = 0;
    // Called at each report of their kind: a test presses Stop from here.
    std::function<void(std::string_view)> onStatus;
    std::function<void(int)> onProgress;
    std::function<void(std::string_view, std::string_view)> onCounter;
};

} // namespace salvex::test
