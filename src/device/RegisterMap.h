#pragma once
// The alarm controller's Modbus register map: every address and count the
// tool reads or writes lives here and nowhere else.

#include <vector>

namespace regmap {

constexpr int kSlave = 1;             // the controller is always slave 1
constexpr int kImageRegisters = 1100; // registers 0..1099 exist on the device
// The controller is known to answer reads of 1 to 10 registers, and the
// writes of the write plan: nothing else is ever asked of it.
constexpr int kMaxReadRegisters = 10;

struct Block {
    int start;
    int count;
};

// Live state, read by the connect probe and the status poll.
constexpr Block kStatusBlock{0, 7};
constexpr int kInputsOffset = 4;  // bit i = input Ii active
constexpr int kRelaysOffset = 5;  // bit i = relay Qi on
constexpr int kVersionOffset = 6; // major * 16 + minor
constexpr int kRelayRegister = kStatusBlock.start + kRelaysOffset;
constexpr int kInputCount = 2; // inputs I0 and I1

// Text slots: each text owns 20 registers; the window's full read fetches the
// first 10 of each, the command line's reads all 20.
constexpr int kSlotRegisters = 20;
constexpr int kSlotBytes = 2 * kSlotRegisters;
constexpr int kTextReadCount = 10;
constexpr int kTextReadBytes = 2 * kTextReadCount;

enum class RelayText { OnCommand = 0, OffCommand = 1, OnReply = 2, OffReply = 3 };
constexpr int kRelayCount = 2;
constexpr int kRelayTextKinds = 4;
constexpr int relayTextSlot(int relay, RelayText kind)
{
    return 10 + 80 * relay + kSlotRegisters * static_cast<int>(kind);
}

constexpr int kAllCommandCount = 2; // 0 = all on, 1 = all off
constexpr int allCommandSlot(int i) { return 490 + kSlotRegisters * i; }

constexpr int kPhoneSlots = 5;
constexpr int phoneSlot(int p) { return 710 + kSlotRegisters * p; }
constexpr bool isPhoneSlot(int slot)
{
    return slot >= phoneSlot(0) && slot <= phoneSlot(kPhoneSlots - 1) && (slot - phoneSlot(0)) % kSlotRegisters == 0;
}

constexpr int kAlarmTexts = 4; // channel 1 closing, 2 closing, 1 opening, 2 opening
constexpr int alarmTextSlot(int k) { return 810 + kSlotRegisters * k; }
// Alarm text k is sent when its input closes (else when it opens).
constexpr bool alarmTextOnClosing(int k) { return k < kAlarmTexts / 2; }

// A slot holding a text the window shows and writes: a text field's slot
// in the field table (the relay texts, the all-on and all-off commands, the
// phone numbers and the alarm texts).
bool isTextField(int slot);

// The 32 slots from 10 to 630 that a full read fetches: the relay texts
// (10..150) and the all-on and all-off commands (490, 510) carry fields of
// this tool, the commands among them with the password in front; the other
// slots are the device's own.
constexpr int kReadTextSlots = 32;
constexpr int readTextSlot(int i) { return 10 + kSlotRegisters * i; }
// A read of the full read that fetches one of the device's own slots, which
// nothing of the tool's is stored in.
constexpr bool isDeviceOwnSlotRead(const Block &b)
{
    const int first = readTextSlot(0), last = readTextSlot(kReadTextSlots - 1);
    return b.count == kTextReadCount && b.start >= first && b.start <= last && (b.start - first) % kSlotRegisters == 0
           && !isTextField(b.start);
}

constexpr Block kActionTimes{900, 8}; // 900 = Q0, 901 = Q1, 902..907 unused
constexpr int kOptionFlags = 1030;    // bit 0 power-loss memory, bit 1 phone-call alarm
constexpr int kAlarmMode = 1050;      // 1 closing, 2 opening, 4 both ways

constexpr int kOptionHoldBit = 0x1;
constexpr int kOptionPhoneAlarmBit = 0x2;
constexpr int kModeChoices = 3;

// The block lists below are made from the field table, which says which
// part of each read and write carries a field (ReadsAndWrites.cpp).

// The reads of a full read, in order: phones, alarm texts, the 32 text slots,
// action times, option flags, alarm mode (last, its reply closes the read).
std::vector<Block> fullReadBlocks();

// A whole configuration with each text slot read whole (all its 20
// registers, so texts of up to 40 bytes come back), in the full read's order:
// the status block, phones, alarm texts, relay texts, all-on and all-off,
// action times, option flags, alarm mode. A block longer than
// kTextReadCount is read in parts of at most that many registers.
std::vector<Block> configurationBlocks();

// The 22 writes of a whole configuration, in the order the device takes
// them: relay texts, all-on and all-off, alarm texts, phone slots (each slot
// whole), action times, alarm mode, option flags.
std::vector<Block> writeBlocks();
bool startsWriteBlock(int start);

// The reads that cover registers start .. start + count - 1, each of at most
// kMaxReadRegisters: a text slot in reads of kTextReadCount from its start
// (the last one may reach past the registers asked for, never past the
// slot), any other block in reads of its own length. So the tool's reads
// keep the counts of the full read, and a check read can take the others.
std::vector<Block> readParts(int start, int count);

} // namespace regmap
