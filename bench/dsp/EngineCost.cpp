// Runs the doubler engine over a fixed number of audio seconds and nothing
// else, for instruction counting under valgrind --tool=callgrind (which is
// repeatable even on a loaded machine, unlike timings):
//
//   valgrind --tool=callgrind --toggle-collect='DoublerEngine::ProcessBlock*'
//            dsp_engine_cost [sampleRateHz] [hostBlockFrames] [seconds] [path]
//
// path 0 runs every plain reference, 1 SSE2, 2 AVX2, 3 AVX-512 (default:
// the best this CPU has; valgrind hides AVX-512 from its guest). Defaults: 44100 Hz, 1024-frame host blocks, 10 s. The input and
// parameters are those of the benchmark (EngineMaterial.h); the program
// prints the output's sum so the work cannot be optimised away.
#include <cstdio>
#include <cstdlib>

#include "EngineMaterial.h"
#include "dsp/DspPath.h"

int main(int argc, char** argv) {
  const double sampleRate = argc > 1 ? std::atof(argv[1]) : 44100.0;
  const int hostBlock = argc > 2 ? std::atoi(argv[2]) : 1024;
  const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
  if (argc > 4 && !ForceDspPath(static_cast<DspPath>(std::atoi(argv[4])))) {
    std::fprintf(stderr, "path %s not supported on this CPU\n", argv[4]);
    return 1;
  }
  if (!(sampleRate >= 1000.0) || hostBlock < 1 || hostBlock > kMaxHostBlock || !(seconds > 0.0)) {
    std::fprintf(stderr, "usage: %s [sampleRateHz >= 1000] [hostBlock 1..%d] [seconds > 0] [path 0..3]\n", argv[0],
                 kMaxHostBlock);
    return 1;
  }
  EngineRun run(sampleRate);
  const long frames = static_cast<long>(seconds * sampleRate);
  run.Process(frames, hostBlock);
  std::printf("%s %.0f Hz, host block %d, %ld frames: output sum %.17g\n", DspPathName(ActiveDspPath()), sampleRate,
              hostBlock, frames, run.OutputSum());
  return 0;
}
