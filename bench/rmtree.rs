// rmtree: removes a directory tree with Rust's std::fs::remove_dir_all, the
// race-free peer of the uninstall pass's file deletion (it opens each entry
// relative to its parent's handle).  scripts/bench builds it for
// x86_64-pc-windows-gnu and runs it under Wine's 64-bit loader.
//
//   rmtree DIRECTORY    removes DIRECTORY and prints   rust_seconds=S
//                       (remove_dir_all alone, timed with Instant)
//   rmtree --nothing    removes nothing: the start-up alone, for a baseline
//
// Exit code 0 when the directory is gone, 1 when the removal failed or left
// it, 2 for bad usage.
use std::path::Path;
use std::process::ExitCode;
use std::time::Instant;

#[link(name = "kernel32")]
extern "system" {
    fn OutputDebugStringA(text: *const u8);
}

// Marks the timed part in a Wine trace, as qfbench does, so that its server
// requests can be counted apart from the start-up.
fn mark(text: &str) {
    let line = format!("{}\0", text);
    unsafe { OutputDebugStringA(line.as_ptr()) };
}

fn main() -> ExitCode {
    let args: Vec<String> = std::env::args().collect();
    if args.len() != 2 {
        eprintln!("usage: rmtree DIRECTORY | rmtree --nothing");
        return ExitCode::from(2);
    }
    if args[1] == "--nothing" {
        return ExitCode::SUCCESS;
    }
    let dir = Path::new(&args[1]);
    mark("qfbench: rust begins");
    let start = Instant::now();
    let result = std::fs::remove_dir_all(dir);
    let seconds = start.elapsed().as_secs_f64();
    mark("qfbench: rust ends");
    println!("rust_seconds={:.6}", seconds);
    if let Err(error) = result {
        eprintln!("rmtree: remove_dir_all {}: {}", dir.display(), error);
        return ExitCode::from(1);
    }
    if dir.exists() {
        eprintln!("rmtree: {} is still there", dir.display());
        return ExitCode::from(1);
    }
    ExitCode::SUCCESS
}
