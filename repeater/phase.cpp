#include "phase.h"

namespace vorel::repeater {

// Each state says what it is and, where play does something else than start
// over, what play will do.
TStep StepOf(TCue cue) {
    switch (cue) {
    case TCue::Started: return {TPhase::Reading, "开始播放"};
    case TCue::TimedStart: return {TPhase::Reading, "定时自动播放"};
    case TCue::Resumed: return {TPhase::Reading, "恢复播放"};
    case TCue::UserPaused: return {TPhase::Paused, "暂停...按播放键继续"};
    case TCue::Stopped: return {TPhase::Idle, "结束播放"};
    case TCue::SegmentEnded: return {TPhase::Ended, "本段播放结束"};
    case TCue::FileEnded: return {TPhase::Idle, "文件播放结束"};
    case TCue::CountdownBegun: return {TPhase::Countdown, "停顿中...按播放键立即朗读"};
    case TCue::CountdownHeld: return {TPhase::Held, "停顿已暂停，按播放键朗读"};
    case TCue::WaitForPlay: return {TPhase::HeldUntilPlay, "暂停...按播放键朗读下一遍"};
    case TCue::WaitForSentence: return {TPhase::Waiting, "正在查找下一句..."};
    case TCue::WaitForPlace: return {TPhase::Waiting, "正在查找所选位置的句子..."};
    case TCue::SpeakingBegun: return {TPhase::Speaking, "请跟读...按播放键跳过"};
    case TCue::ReplaySentence: return {TPhase::ReplayingSentence, "回放原句..."};
    case TCue::ReplayTake: return {TPhase::ReplayingTake, "回放跟读录音..."};
    }
    return {TPhase::Idle, ""};
}

} // namespace vorel::repeater
