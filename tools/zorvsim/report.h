// What the simulator received and did, printed at exit as one line "REPORT {json}".
#pragma once

#include <string>
#include <vector>

namespace zorv::sim {

struct Event {
  double t = 0;        // seconds since the simulator started
  std::string name;    // vers, image, ack, final, silent, garbage, hangup, pusk, extra, stray,
                       // echo, wrong, dup, stall, resume, after-pusk, pause, exit
  long block = 0;      // ack, final, silent, garbage, hangup, wrong, dup, stall: the block
                       // (1-based)
  long bytes = 0;      // extra, stray, echo, wrong, dup: how many bytes; stall: image bytes
                       // taken
  std::string crc;     // ack, final, dup, after-pusk: the checksum sent, four hex digits
  std::string fault;   // ack, final: the faults played on it (split, bad-crc, extra, early-fz,
                       // no-final-fz, after-wrong)
  std::string reason;  // exit
  long us = 0;         // pause: how long, in microseconds (block: acknowledgements sent
                       // before it)
};

struct Report {
  std::string mode = "device";  // device | echo
  long image_bytes = 0;
  std::string image_sha256;
  std::string image_crc;  // running checksum over the image bytes, four hex digits
  bool image_checked = false;  // an image to compare with was given
  long image_mismatch = -1;    // the offset of the first image byte that differs from it
                               // (or lies beyond it); -1: none
  long blocks_received = 0;
  long blocks_acked = 0;  // acknowledgements written (faulty ones included; garbage not)
  bool pusk = false;
  long extra_bytes = 0;   // after the image (final block or early "FZ") or after "PUSK"
  long stray_bytes = 0;   // before the image that were no "VERS"
  long vers_queries = 0;
  long echo_bytes = 0;
  std::string exit;
  // The steady clock (CLOCK_MONOTONIC) at the simulator's start, in seconds: a test puts
  // the events' times beside its own on the same clock.
  double clock_start = 0;
  std::vector<Event> events;

  std::vector<Event> Events(const std::string& name) const;  // of one kind, in order
};

std::string ToJson(const Report& r);

}  // namespace zorv::sim
