#include "tools/commands.h"

namespace tovrane::cli {

// The subcommands in the order 'tovrane --help' lists them. usage and summary
// are one line each; help is what 'tovrane NAME --help' prints below the usage.
const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {.name = "moves",
       .usage = "moves BOARD SIDE",
       .summary = "print the generator's move list in generation order",
       .help = "Prints every move of SIDE in BOARD as the move generator lists them, one per\n"
               "line, duplicates included. A move is four digits: from-row, from-column,\n"
               "to-row, to-column.\n",
       .run = runMoves},
      {.name = "perft",
       .usage = "perft BOARD SIDE DEPTH",
       .summary = "count distinct legal move sequences of length DEPTH",
       .help = "Counts the distinct legal move sequences of DEPTH plies (0 to 12) from BOARD\n"
               "with SIDE to move; a sequence that reaches a side without a move counts 0.\n",
       .run = runPerft},
      {.name = "divide",
       .usage = "divide BOARD SIDE DEPTH",
       .summary = "perft split by root move, then the total",
       .help = "Like perft (DEPTH 1 to 12), split by the first move: one line per distinct\n"
               "root move with its count, then 'total COUNT'.\n",
       .run = runDivide},
      {.name = "diagram",
       .usage = "diagram [BOARD]",
       .summary = "draw the board with its two circuits and their loops as SVG",
       .help = "Writes an SVG picture of the board to standard output, drawn from the\n"
               "circuit tables the move generator uses: the six rows and columns, the small\n"
               "and the large circuit with their corner loops, and the pieces of BOARD (none\n"
               "when it is not given). docs/circuits.svg is its output.\n",
       .run = runDiagram},
      {.name = "eval",
       .usage = "eval BOARD SIDE [--classic]",
       .summary = "static score for SIDE to move; --classic: classic profile",
       .help = "Prints the static evaluation of BOARD from the view of SIDE to move, as the\n"
               "engine scores a leaf. --classic uses the classic profile of engine-classic.\n",
       .run = runEval},
      {.name = "maps",
       .usage = "maps BOARD [--classic]",
       .summary = "threat, balance, safety maps, safe counts; --classic: classic map as balance, no threat",
       .help = "Prints the maps behind the evaluation, six rows of six numbers under the\n"
               "headings threat, balance and safety, then 'safe black N white M'. --classic\n"
               "prints the classic map under balance and no threat section.\n",
       .run = runMaps},
      {.name = "choose",
       .usage = "choose BOARD SIDE [--deep | --classic | --pro [--movetime S | --depth N]]",
       .summary = "search only (no book): print the chosen move or none; depth, score, nodes and time on stderr",
       .help = "Searches BOARD for SIDE as the engine would (without its opening book) and\n"
               "prints the chosen move, or 'none' when SIDE has no legal move. Depth, score,\n"
               "nodes and time go to standard error. --deep and --classic search like\n"
               "engine-deep and engine-classic. --pro searches like engine-pro, for\n"
               "--movetime S seconds (default 1) or to --depth N, and prints one line per\n"
               "finished iteration: depth, score, nodes, time and principal variation.\n",
       .run = runChoose},
      {.name = "bench",
       .usage = "bench [--deep | --classic | --pro [--eval classic|net | --eval-file NET] [--selectivity LIST]]",
       .summary = "search the fixed benchmark positions; print moves, scores, speed and a behaviour signature",
       .help = "Searches the fixed benchmark positions, printing each chosen move and root\n"
               "score, then nodes, time, nodes per second and 'signature N'. The signature\n"
               "hashes moves and scores only: it changes with the engine's behaviour, never\n"
               "with its speed. --deep and --classic bench engine-deep and engine-classic;\n"
               "--pro benches engine-pro at a fixed depth of 7, evaluating with its\n"
               "built-in network as the program does (--eval classic: the hand-made\n"
               "evaluation; --eval-file: the network in NET); --selectivity turns parts\n"
               "of its search on or off, as engine-pro's option does.\n",
       .run = runBench},
      {.name = "match",
       .usage = kMatchUsage,
       .summary = "play games between two engine programs (or a tournament of more) and report the result",
       .help = kMatchHelp,
       .run = runMatch},
      {.name = "merge",
       .usage = "merge RECORD... [--sprt ELO0 ELO1 [--alpha A] [--beta B] [--sprt-model M]]",
       .summary = "report the records of one match's shards (or of a stopped and resumed run) as one match",
       .help = "Reads record files written by 'tovrane match --record' for one match, for\n"
               "instance by its --shard K/N runs, and prints the game lines, the table, the\n"
               "Elo difference and the sequential test's verdict exactly as one run over\n"
               "those games would. Refuses records of different matches and a game found\n"
               "twice; notes games that none of the records hold. A game cut short at the\n"
               "end of a record (its writer killed) is dropped with a note.\n"
               "  --sprt ELO0 ELO1   test these games with this sequential test instead of the\n"
               "                     match's own: where it would have stopped, in game order\n"
               "  --alpha A, --beta B  its error rates (default 0.05)\n"
               "  --sprt-model M     pentanomial (default: pairs of games) or trinomial\n"
               "                     (single games)\n",
       .run = runMerge},
      {.name = "replay",
       .usage = "replay FILE [GAME]",
       .summary = "show a recorded game move by move as boards",
       .help = "Prints game GAME (default: the first) of a record file written by\n"
               "'tovrane match --record FILE', from the start position, with a board after\n"
               "every ply (x black, o white, . empty; rows 0 to 5 from the top), and what\n"
               "the engine thought of its move when it sent a thinking line: the depth, the\n"
               "score in hundredths of a piece from the mover's side (or a proved win or\n"
               "loss in N plies), the nodes and the line it expected.\n",
       .run = runReplay},
      {.name = "analyse",
       .usage = kAnalyseUsage,
       .summary = "engine-pro goes over recorded games and marks the mistakes and blunders",
       .help = "Searches every position of game GAME (default: every game) of a record file\n"
               "written by 'tovrane match --record' with engine-pro, to --depth N (default\n"
               "10) or for --movetime S seconds a position, and prints one line per ply: the\n"
               "side, the move, the board before it (36 digits, for 'tovrane choose'), the\n"
               "pieces black-white, the best score before the move and the score after it for\n"
               "the side that moved (a piece is about 90; winN / lossN: a proved result in N\n"
               "plies), the loss, the mark and engine-pro's move. A loss of 90 (about a\n"
               "piece) is a mistake, 180 a blunder; a proved win thrown away, or a proved loss\n"
               "walked into, is always a blunder; the best move is never marked. Then a\n"
               "summary per side. The rules come from the record's header unless --rules NAME\n"
               "(draw80, pieces50-repetition, pieces80) says. Progress on standard error.\n",
       .run = runAnalyse},
      {.name = "serve",
       .usage = "serve [--host ADDR] [--port N] [--state DIR|none]",
       .summary = "a local web page to play the engines and replay match records",
       .help = "Serves one web page (built into the program) to play against six levels or\n"
               "the programs by name, or two players on one screen, with an evaluation bar\n"
               "and graph, hints, links to games, and to replay record files, at\n"
               "http://127.0.0.1:8080/ unless --host or --port say otherwise (--port 0: any\n"
               "free port). Prints the address; Ctrl-C stops it. Only loopback by default:\n"
               "give --host 0.0.0.0 to let other machines in (a warning says so). Each game\n"
               "is saved in a small file in --state DIR (default: ~/.local/state/tovrane/\n"
               "serve-games, or $XDG_STATE_HOME's) so that a restart keeps it; none: not saved.\n",
       .run = runServe},
      {.name = "openings",
       .usage = "openings [--count N] [--plies K] [--seed S] [--nodes N] [--margin M] [--draws D]",
       .summary = "balanced random openings for match --opening-file: kept where engine-pro sees neither side ahead",
       .help = "Draws random lines of K plies (default 6) as 'match --seed S' would and\n"
               "searches the position after each with engine-pro (network, one thread, told\n"
               "the line as the game so far, N nodes, default 20000), keeping the lines it\n"
               "scores within +-M (default 25; a piece is about 90) until N lines (default\n"
               "100) are kept or D lines (default 50 per line wanted) are scored. Writes an\n"
               "opening file: a '#' line saying how it was made, then one line each with its\n"
               "score as a comment. Progress on standard error; exits with status 1 when fewer\n"
               "lines than asked were found. The same options give the same file everywhere.\n",
       .run = runOpenings},
      {.name = "book",
       .usage = "book build --out DIR [options] | book show BOARD SIDE [--dir DIR] | book check DIR",
       .summary = "build, inspect and check opening books for the engines' startgame/ folder",
       .help = kBookHelp,
       .run = runBook},
      {.name = "selfplay",
       .usage = kSelfplayUsage,
       .summary = "play engine-pro against itself and write training positions (see selfplay --help)",
       .help = kSelfplayHelp,
       .run = runSelfplay},
      {.name = "tune",
       .usage = "tune FILE... [--skip PLIES] [--iterations N] [--score-weight W] [--rate R]",
       .summary = "fit engine-pro's evaluation weights to self-play positions and game results",
       .help = "Reads self-play position files (tovrane selfplay) and match records (tovrane\n"
               "match --record): from a position file every position, from a record every quiet\n"
               "position (no capture for the side to move), each from ply PLIES on (default 8),\n"
               "labelled with the game's result for the side to move. Repeated positions are\n"
               "merged (their results averaged); the positions of a tenth of the games, chosen\n"
               "by game, are held out. The logistic curve's scale is fitted to the current\n"
               "weights, then both rows of weights (opening and endgame, mixed by the pieces on\n"
               "the board) by N steps of full-batch Adam (default 1000, step R, default 0.5) on\n"
               "the log loss against the targets: the result, or with --score-weight W\n"
               "(0 to 1, default 0) (1 - W) * result + W * curve(search score) for positions\n"
               "of position files. Progress on standard error; prints the counts, the held-out\n"
               "and training loss against the results before and after, how often each feature\n"
               "is not zero, and the weights as code for eval/pro_eval.cpp.\n",
       .run = runTune},
      {.name = "net-scores",
       .usage = "net-scores [--eval-file NET] FILE",
       .summary = "engine-pro's network score and hand-made score of every position in FILE",
       .help = "Reads BOARD SIDE from the start of every line of FILE (a position file of\n"
               "tovrane selfplay will do; other lines are passed over) and prints per position\n"
               "the network's score and the hand-made evaluation's, both for SIDE, in search\n"
               "units. The network is the built-in one or NET's. tools/net/train_net.py uses\n"
               "it to check a written network against its float original.\n",
       .run = runNetScores},
      {.name = "proofcheck",
       .usage = "proofcheck [--rules NAME] [--games N] [--first-game G] [--seed S] [--nodes N] [--plies K] [--game-plies P] [--hash MB] [--threads T]",
       .summary = "check engine-pro's claimed wins and losses against a plain search that knows the history",
       .help = "Plays N games (default 100) of engine-pro against itself from random positions\n"
               "with 2 to 4 pieces a side, each after a random walk of quiet moves (and half of\n"
               "them near the ply cap), told the whole history, N nodes a move (default 5000),\n"
               "at most P plies a game (default 40), under the rules preset NAME (default\n"
               "draw80). Every win or loss it claims within K plies (default 5) is checked by\n"
               "a plain search over every move that knows the rules and the real history; a\n"
               "claim it does not prove is printed as a false claim. Prints the games, claims\n"
               "checked and false claims; exits with status 1 when there is a false claim.\n"
               "Game G of a seed is always the same start: a long run goes in chunks of seeds\n"
               "or of games (--first-game), one table kept through each chunk. --threads T:\n"
               "engine-pro searches with T threads (then no run is quite like another).\n",
       .run = runProofCheck},
  };
  return table;
}

}  // namespace tovrane::cli
