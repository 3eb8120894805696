#include "call_recorder.h"

#include <algorithm>

namespace olvex {

CallRecorder::CallRecorder(std::shared_ptr<TranscriptArchive> a, int32_t id, std::string name,
                           Clock c)
    : archive(std::move(a)), callId(id), operatorName(std::move(name)), clock(std::move(c)) {}

CallRecorder::~CallRecorder() {
    End();
}

void CallRecorder::BeginOnce() {
    if (archive && conversation == 0 && !ended)
        conversation = archive->Begin(callId, operatorName, clock());
}

PartyKind CallRecorder::SenderKind(const std::string& name, bool own) const {
    if (own)
        return PartyKind::Own;
    if (std::find(visitors.begin(), visitors.end(), name) != visitors.end())
        return PartyKind::Visitor;
    // Colleagues send under their log-in name, which the participant list does not
    // carry: anyone but the known visitor is one of them.
    return visitors.empty() ? PartyKind::None : PartyKind::Operator;
}

uint64_t CallRecorder::Line(LineKind kind, std::string name, bool own, std::string text) {
    BeginOnce();
    if (conversation == 0 || ended)
        return 0;
    ArchivedLine line;
    line.time = clock();
    const bool event =
        kind == LineKind::Event || kind == LineKind::Push || kind == LineKind::Notice;
    line.party = event ? PartyKind::None : SenderKind(name, own);
    line.name = std::move(name);
    line.kind = kind;
    line.text = std::move(text);
    return archive->AddLine(conversation, std::move(line));
}

void CallRecorder::Participant(std::string name, int32_t kind) {
    if (kind != 1 && kind != 2)
        return;
    if (kind == 1 && std::find(visitors.begin(), visitors.end(), name) == visitors.end())
        visitors.push_back(name);
    BeginOnce();
    if (conversation != 0 && !ended)
        archive->AddParticipant(conversation, std::move(name),
                                kind == 1 ? PartyKind::Visitor : PartyKind::Operator);
}

void CallRecorder::End() {
    if (ended)
        return;
    ended = true;
    if (conversation != 0)
        archive->End(conversation, clock());
}

} // namespace olvex
