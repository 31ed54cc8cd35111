# Detect.ps1, the Win32 app's detection rule: detected (exit 0 and one line)
# exactly when this version's marker is a file in the programs' folder.
BeforeDiscovery { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }
BeforeAll { . (Join-Path $PSScriptRoot 'FleetTest.ps1') }

Describe 'Detect.ps1 in <Mode>' -ForEach $Modes {
    BeforeAll { $script = New-ReleaseCopy 'Detect.ps1' $TestDrive }

    It '<Case>: exit <Code>' -ForEach @(
        @{ Case = "this version's marker"; Place = 'ProgramW6432'; Marker = "cleanup-done-$Version.txt"; Code = 0 }
        @{ Case = 'no marker, a log that ends with Done.'; Place = 'ProgramW6432'; Marker = 'cleanup.log'; Code = 1 }
        @{ Case = "an older version's marker"; Place = 'ProgramW6432'; Marker = 'cleanup-done-9.8.6.txt'; Code = 1 }
        @{ Case = 'a folder named as the marker'; Place = 'ProgramW6432'; Marker = "cleanup-done-$Version.txt/"; Code = 1 }
        @{ Case = 'no ProgramW6432: ProgramFiles'; Place = 'ProgramFiles'; Marker = "cleanup-done-$Version.txt"; Code = 0 }
        @{ Case = "the marker under ProgramFiles while ProgramW6432 is set"; Place = 'ProgramFiles'; Marker = "cleanup-done-$Version.txt"; Code = 1; Both = $true }
    ) {
        $root = Join-Path $TestDrive ([guid]::NewGuid())
        $native = Join-Path $root 'native'
        $files = Join-Path $root 'files'
        $folder = Join-Path ($Place -eq 'ProgramW6432' ? $native : $files) 'KovexDeepClean'
        $null = New-Item -ItemType Directory -Force -Path $folder
        if ($Marker.EndsWith('/')) { $null = New-Item -ItemType Directory -Path (Join-Path $folder $Marker.TrimEnd('/')) }
        else { Set-Content -LiteralPath (Join-Path $folder $Marker) -Value 'Done.' }
        $environment = @{ ProgramFiles = $files; ProgramW6432 = ($Place -eq 'ProgramW6432' -or $Both) ? $native : $null }

        $run = Invoke-FleetScript $script $Mode $environment

        $run.ExitCode | Should -Be $Code
        $run.Error | Should -BeNullOrEmpty
        if ($Code -eq 0) { $run.Lines | Should -Be "Kovex Deep Clean ${Version}: the cleanup ran to its end" }
        else { $run.Lines | Should -BeNullOrEmpty }
    }
}
