# Remediations-Remediate.ps1, Intune's remediation script: runs the cleanup
# with its output saved, byte for byte, to cleanup.log, then exits 0 only
# when "kovex-deepclean-check.exe --cleanup-log" says the cleanup ran to its
# end; one line on standard output either way.
BeforeDiscovery { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }
BeforeAll { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }

Describe 'Remediations-Remediate.ps1 in <Mode>' -ForEach $Modes {
    BeforeAll { $script = New-ReleaseCopy 'Remediations-Remediate.ps1' $TestDrive }

    It '<Case>: exit <Code>' -ForEach @(
        @{ Case = 'ran to its end (UTF-16LE)'; Lines = 'Removing oem12.inf', 'Done.'; Code = 0; Expected = 'The cleanup ran to its end.' }
        @{ Case = 'ran to its end (UTF-8)'; Lines = 'Removing oem12.inf', 'Done.'; Encoding = 'UTF8'; Code = 0; Expected = 'The cleanup ran to its end.' }
        @{ Case = 'Done. not the last line'; Lines = 'Done.', 'Removing oem12.inf failed'; Code = 1; Expected = 'The cleanup did not run to its end: *' }
        @{ Case = 'cut short mid-step'; Lines = 'Removing oem12.inf'; Status = 1; Code = 1; Expected = 'The cleanup did not run to its end: *' }
        @{ Case = 'no output'; Lines = @(); Code = 1; Expected = 'The cleanup did not run to its end: an empty log' }
        @{ Case = 'the cleanup failing to start'; CleanupShell = $Unstartable; Code = 1; Expected = 'The cleanup did not run to its end: *' }
        @{ Case = "an earlier run's log, the cleanup failing to start"; CleanupShell = $Unstartable; Earlier = $true; Code = 1; Expected = 'The cleanup did not run to its end: *' }
        @{ Case = 'the cleanup missing'; Missing = 'kovex-deepclean.exe'; Code = 1; Expected = 'Not run: *kovex-deepclean.exe is missing: install the Win32 app first' }
        @{ Case = 'the check missing'; Missing = 'kovex-deepclean-check.exe'; Code = 1; Expected = 'Not run: *kovex-deepclean-check.exe is missing: install the Win32 app first' }
        @{ Case = 'the log unreadable'; Lines = 'Done.'; Unreadable = $true; Code = 1; Expected = "The cleanup's log cannot be read: *cleanup-remediation.log" }
        @{ Case = 'a check without --cleanup-log'; Lines = 'Done.'; CheckArguments = '--old'; Code = 1; Expected = "kovex-deepclean-check.exe --cleanup-log ended with exit code '3' without its line" }
        @{ Case = 'the check failing to start'; Lines = 'Done.'; CheckShell = $Unstartable; Code = 1; Expected = 'Not run: *kovex-deepclean-check.exe*' }
        @{ Case = 'devcon.exe missing'; Lines = 'Done.'; Missing = 'devcon.exe'; Code = 1; Expected = 'Not run: *devcon.exe is missing: *' }
        @{ Case = "an earlier run's log that cannot be deleted"; Lines = 'Done.'; Undeletable = $true; Code = 1; Expected = 'Not run: *cleanup-remediation.log from an earlier run could not be deleted' }
        @{ Case = 'no log written'; Lines = 'Done.'; NoLog = $true; Code = 1; Expected = 'Not run: the cleanup was not started: *cleanup-remediation.log could not be written' }
    ) {
        $programs = New-ProgramsFolder
        $log = Join-Path $programs.Folder 'cleanup-remediation.log'
        $bytes = Get-CleanupBytes $Lines ($Encoding ?? 'UTF16')
        $output = Join-Path $TestDrive "$([guid]::NewGuid()).out"
        [System.IO.File]::WriteAllBytes($output, $bytes)
        if ($Earlier) { Set-Content -LiteralPath $log -Value 'Done.' }
        if ($Undeletable) { $null = New-Item -ItemType Directory -Path (Join-Path $log 'held') }
        if ($Missing -eq 'devcon.exe') { Remove-Item -LiteralPath (Join-Path $programs.Folder 'devcon.exe') }
        if ($Missing -ne 'kovex-deepclean.exe') {
            # It runs in its folder (where it finds devcon.exe), and writes
            # its output, then exits 0 (or Status when cut short).
            New-StandIn (Join-Path $programs.Folder 'kovex-deepclean.exe') @"
[ "`$(pwd -P)" = '$($programs.Folder)' ] || exit 0
cat '$output'
$($Unreadable ? 'rm -f cleanup-remediation.log; mkdir cleanup-remediation.log' : '')
$($NoLog ? 'rm -f cleanup-remediation.log' : '')
exit $($Status ?? 0)
"@ ($CleanupShell ?? '/bin/sh')
        }
        if ($Missing -ne 'kovex-deepclean-check.exe') {
            $check = Join-Path $programs.Folder 'kovex-deepclean-check.exe'
            New-StandIn $check $CleanupLogCheck ($CheckShell ?? '/usr/bin/env python3')
            if ($CheckArguments) { New-StandIn $check ($CleanupLogCheck -replace '--cleanup-log', $CheckArguments) '/usr/bin/env python3' }
        }

        $run = Invoke-FleetScript $script $Mode $programs.Environment

        $run.ExitCode | Should -Be $Code
        $run.Lines.Count | Should -Be 1
        $run.Lines[0] | Should -BeLike $Expected
        $run.Lines[0].Length | Should -BeLessOrEqual 2048
        if (-not $Missing -and -not $CleanupShell -and -not $Unreadable -and -not $Undeletable -and -not $NoLog) {
            # The log holds the cleanup's bytes as it wrote them.
            [System.IO.File]::ReadAllBytes($log) | Should -Be $bytes
        }
    }
}
